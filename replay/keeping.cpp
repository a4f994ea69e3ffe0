// replays/index.txt, one line per link, fields separated by tabs:
//   entry <TAB> k <TAB> score <TAB> file <TAB> name     table entry k (1..12) -> its replay
//   recent <TAB> file                                    the last 20 runs, oldest first
// A link whose score and name no longer match entry k of the table (the table file was
// changed, or the game ended before saving it) is dropped when the index is read.
#include "replay/keeping.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

struct Index {
    std::array<std::string, HIGH_SCORE_COUNT> entry_file;  // file of entry k+1, or empty
    std::vector<std::string> recent;
};

// A file name we wrote ourselves: letters, digits, '-', '_' and '.', no path.
bool plain_file_name(const std::string& name) {
    if (name.empty() || name.size() > 80 || name[0] == '.') return false;
    for (char ch : name) {
        const bool ok = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                        ch == '-' || ch == '_' || ch == '.';
        if (!ok) return false;
    }
    return true;
}

Index read_index(const fs::path& folder, const HighScoreTable& table) {
    Index index;
    std::ifstream in(folder / REPLAY_INDEX, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (int i = 0; i < 4; ++i) {
            const size_t tab = line.find('\t', start);
            if (tab == std::string::npos) break;
            fields.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        fields.push_back(line.substr(start));
        if (fields.size() == 2 && fields[0] == "recent" && plain_file_name(fields[1])) {
            index.recent.push_back(fields[1]);
        } else if (fields.size() == 5 && fields[0] == "entry" && plain_file_name(fields[3])) {
            const int k = std::atoi(fields[1].c_str());
            if (k < 1 || k > HIGH_SCORE_COUNT) continue;
            const HighScoreEntry& e = table[static_cast<size_t>(k - 1)];
            if (std::to_string(e.score) == fields[2] && e.name == fields[4]) index.entry_file[k - 1] = fields[3];
        }
    }
    return index;
}

}  // namespace

bool write_atomically(const fs::path& path, const std::string& bytes, std::string& error) {
    const fs::path temp = path.string() + ".new";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) {
        error = "cannot create " + temp.string();
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    std::error_code ec;
    if (!written || !closed) {
        fs::remove(temp, ec);
        error = "cannot write " + temp.string();
        return false;
    }
    fs::rename(temp, path, ec);
    if (ec) {
        fs::remove(temp, ec);
        error = "cannot rename " + temp.string();
        return false;
    }
    return true;
}

int entered_place(const HighScoreTable& before, const HighScoreTable& after, int32_t score) {
    for (size_t k = 0; k < after.size(); ++k) {
        if (!(after[k] == before[k]) && after[k].score == score) return static_cast<int>(k) + 1;
    }
    return 0;
}

HighScoreTable current_high_scores() {
    HighScoreTable table;
    for (int k = 1; k <= HIGH_SCORE_COUNT; ++k) table[static_cast<size_t>(k - 1)] = high_score_entry(k);
    return table;
}

std::string screens_path(const std::string& replay_path) {
    const std::string ending = ".mwr";
    const bool ends = replay_path.size() >= ending.size() &&
                      replay_path.compare(replay_path.size() - ending.size(), ending.size(), ending) == 0;
    return (ends ? replay_path.substr(0, replay_path.size() - ending.size()) : replay_path) + ".screens";
}

std::string keep_replay(const std::string& folder_name, const std::string& stem, const std::string& bytes,
                        const std::string& screens, int place, const HighScoreTable& before,
                        const HighScoreTable& after, std::string& error) {
    const fs::path folder(folder_name);
    std::error_code ec;
    fs::create_directories(folder, ec);
    Index index = read_index(folder, before);

    std::string file = stem + ".mwr";
    for (int n = 2; fs::exists(folder / file, ec) && n < 1000; ++n) file = stem + "-" + std::to_string(n) + ".mwr";
    if (!plain_file_name(file)) {
        error = "bad replay file name " + file;
        return {};
    }
    if (!write_atomically(folder / file, bytes, error)) return {};
    std::string ignored;
    if (!screens.empty()) write_atomically(screens_path((folder / file).string()), screens, ignored);

    if (place >= 1 && place <= HIGH_SCORE_COUNT) {
        for (int j = HIGH_SCORE_COUNT - 1; j >= place; --j) index.entry_file[j] = index.entry_file[j - 1];
        index.entry_file[place - 1] = file;
    }
    index.recent.push_back(file);
    if (index.recent.size() > static_cast<size_t>(KEPT_RECENT_RUNS)) {
        index.recent.erase(index.recent.begin(), index.recent.end() - KEPT_RECENT_RUNS);
    }

    std::ostringstream text;
    std::set<std::string> kept(index.recent.begin(), index.recent.end());
    for (int k = 0; k < HIGH_SCORE_COUNT; ++k) {
        const std::string& linked = index.entry_file[k];
        const HighScoreEntry& e = after[static_cast<size_t>(k)];
        if (linked.empty() || e.name.find_first_of("\t\r\n") != std::string::npos) continue;
        // An old link must still name the entry it was made for, now one place lower when
        // the run's entry went in above it.
        if (linked != file) {
            const int was = k + 1 > place && place > 0 ? k - 1 : k;
            if (was < 0 || !(before[static_cast<size_t>(was)] == e)) continue;
        }
        text << "entry\t" << k + 1 << '\t' << e.score << '\t' << linked << '\t' << e.name << '\n';
        kept.insert(linked);
    }
    for (const std::string& recent : index.recent) text << "recent\t" << recent << '\n';
    if (!write_atomically(folder / REPLAY_INDEX, text.str(), error)) return {};

    // Only replays the index no longer names are removed; other files are left alone.
    for (const auto& item : fs::directory_iterator(folder, ec)) {
        const std::string name = item.path().filename().string();
        const std::string extension = item.path().extension().string();
        const std::string replay = item.path().stem().string() + ".mwr";
        if ((extension == ".mwr" || extension == ".screens") && kept.count(replay) == 0) fs::remove(item.path(), ec);
    }
    keep_saved_files();
    return file;
}

std::string replay_of_entry(const std::string& folder, const HighScoreTable& table, int k) {
    if (k < 1 || k > HIGH_SCORE_COUNT) return {};
    const std::string file = read_index(folder, table).entry_file[k - 1];
    return file.empty() ? file : (fs::path(folder) / file).string();
}

std::string latest_replay(const std::string& folder) {
    const Index index = read_index(folder, HighScoreTable{});
    return index.recent.empty() ? std::string() : (fs::path(folder) / index.recent.back()).string();
}
