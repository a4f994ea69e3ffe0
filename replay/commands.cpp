#include "replay/commands.h"

#include <fstream>

#include "replay/flight.h"
#include "replay/keeping.h"
#include "replay/watch.h"

bool read_replay_file(const std::string& path, std::string& bytes, std::string& why, size_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot read the file";
        return false;
    }
    bytes.assign(limit + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) {
        why = "cannot read the file";
        return false;
    }
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (bytes.size() > limit) {
        why = "larger than any replay";
        return false;
    }
    return true;
}

int verify_files(const std::vector<std::string>& files, std::FILE* out) {
    int status = 0;
    for (const std::string& path : files) {
        std::string bytes, why;
        ReplayVerdict verdict;
        if (read_replay_file(path, bytes, why)) {
            verdict = verify_replay(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        } else {
            verdict.why = why;
        }
        if (verdict.frames > 0) {
            std::fprintf(out, "%s: level %d, %d frames, %s%s\n", path.c_str(), verdict.level, verdict.frames,
                         verdict.agrees ? "agrees" : "refused: ", verdict.agrees ? "" : verdict.why.c_str());
        } else {
            std::fprintf(out, "%s: refused: %s\n", path.c_str(), verdict.why.c_str());
        }
        if (!verdict.agrees) status = 1;
    }
    return status;
}

int watch_file(const std::string& path) {
    std::string bytes, why;
    ReplayRecord record;
    if (!read_replay_file(path, bytes, why) || !decode_replay(bytes, record, why)) {
        std::fprintf(stderr, "murkwingdiver: %s: refused: %s\n", path.c_str(), why.c_str());
        return 1;
    }
    // The pictures kept beside the replay, where there are any.
    ScreenPictures pictures;
    std::string sidecar;
    std::string ignored;
    if (read_replay_file(screens_path(path), sidecar, ignored, SCREENS_MAX_FILE_BYTES)) decode_screens(sidecar, pictures);
    if (watch_record(record, pictures, why) != 0) {
        std::fprintf(stderr, "murkwingdiver: cannot open the window: %s\n", why.empty() ? "unknown cause" : why.c_str());
        return 1;
    }
    return 0;
}
