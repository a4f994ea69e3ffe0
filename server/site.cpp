// Static files of the browser build: a checked relative path, read whole, typed by suffix.
#include "server/site.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

// Whether every '/'-separated part is a plain name.
bool plain_path(const std::string& relative) {
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        if (end == start || relative[start] == '.') return false;
        for (size_t i = start; i < end; ++i) {
            const unsigned char c = static_cast<unsigned char>(relative[i]);
            if (c < 32 || c == 127 || c == '\\') return false;
        }
        start = end + 1;
    }
    return true;
}

const char* content_type_of(const std::string& path) {
    static const std::pair<const char*, const char*> TYPES[] = {
        {".html", "text/html; charset=utf-8"}, {".js", "text/javascript; charset=utf-8"},
        {".mjs", "text/javascript; charset=utf-8"}, {".wasm", "application/wasm"},
        {".css", "text/css; charset=utf-8"}, {".json", "application/json"},
        {".png", "image/png"}, {".bmp", "image/bmp"}, {".ico", "image/x-icon"},
        {".svg", "image/svg+xml"}, {".txt", "text/plain; charset=utf-8"},
        {".webmanifest", "application/manifest+json"}, {".wav", "audio/wav"},
    };
    for (const auto& [suffix, type] : TYPES) {
        const std::string s = suffix;
        if (path.size() > s.size() && path.compare(path.size() - s.size(), s.size(), s) == 0) return type;
    }
    return "application/octet-stream";  // .data, .mwr and anything else: bytes to download
}

}  // namespace

ApiReply serve_site_file(const std::string& site_dir, const std::string& relative) {
    std::string path = relative;
    if (path.empty() || path.back() == '/') path += "index.html";
    if (!plain_path(path)) return error_reply(404, "no such file");
    const std::filesystem::path file = std::filesystem::path(site_dir) / path;
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) return error_reply(404, "no such file");
    std::ifstream in(file, std::ios::binary);
    if (!in) return error_reply(404, "no such file");
    ApiReply reply;
    reply.content_type = content_type_of(path);
    reply.body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return reply;
}
