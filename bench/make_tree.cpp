// solvanter-bench-tree: writes the bulk of a benchmark application build into a folder.
//
// Usage: solvanter-bench-tree <folder> <archive-megabytes>
//
// The mix aims at an application build whose ZIP archive is about the given size:
//   - many small text-like files (sources, settings, translations) in nested folders,
//     about a tenth of the archive;
//   - a few half-compressible binaries (libraries), about a third of the archive;
//   - a few incompressible files (packed assets), the rest.
// The content comes from a fixed seed, so the same size always gives the same files.
// The executable and version.txt are added by the caller.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

struct Random {
    std::uint64_t state;

    std::uint64_t next()  // splitmix64
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t n) { return next() % n; }
};

const char* const words[] = {
    "solvanter", "model", "layer", "value", "return", "const", "struct", "render", "buffer",
    "vertex",    "shader", "matrix", "import", "export", "config", "window", "string", "number",
    "true",      "false", "null",   "index",  "count",  "offset", "length", "handle", "stream",
    "file",      "path",   "name",   "type",   "class",  "public", "static", "update", "draw",
    "scene",     "camera", "light",  "mesh",   "texture", "sample", "filter", "result", "error",
    "begin",     "end",    "width",  "height", "scale",  "rotate", "translate", "project", "point",
    "{",         "}",      "(",      ")",      ";",      "=",      ":",      ",",      "\n",
    "    ",
};
constexpr std::size_t wordCount = sizeof words / sizeof words[0];

bool make_dirs(const std::string& path)
{
    std::string partial;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            if (! partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
                return false;
        }
        if (i < path.size())
            partial += path[i];
    }
    return true;
}

void append_text(std::string& out, std::size_t bytes, Random& random)
{
    while (out.size() < bytes) {
        out += words[random.below(wordCount)];
        out += ' ';
    }
    out.resize(bytes);
}

void append_random(std::string& out, std::size_t bytes, Random& random)
{
    const auto start = out.size();
    out.resize(start + bytes);
    for (std::size_t i = start; i < out.size(); i += 8) {
        const auto v = random.next();
        std::memcpy(&out[i], &v, std::min<std::size_t>(8, out.size() - i));
    }
}

bool write_file(const std::string& path, const std::string& content)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    return std::fclose(f) == 0 && ok;
}

// Writes `bytes` of content made in 64 KiB blocks; each block is random with the given share.
bool write_blocks(const std::string& path, std::uint64_t bytes, double randomShare, Random& random)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    constexpr std::size_t block = 64 * 1024;
    std::string chunk;
    bool ok = true;
    for (std::uint64_t written = 0; ok && written < bytes; written += chunk.size()) {
        chunk.clear();
        const auto size = (std::size_t) std::min<std::uint64_t>(block, bytes - written);
        if ((double) random.below(1000) < randomShare * 1000.0)
            append_random(chunk, size, random);
        else
            append_text(chunk, size, random);
        ok = std::fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size();
    }
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <folder> <archive-megabytes>\n", argv[0]);
        return 2;
    }
    const std::string root = argv[1];
    const double megabytes = std::atof(argv[2]);
    if (megabytes <= 0.0) {
        std::fprintf(stderr, "%s: bad size: %s\n", argv[0], argv[2]);
        return 2;
    }
    const auto target = (std::uint64_t) (megabytes * 1024 * 1024);
    Random random { 0x501f4a7e4ull + target };

    // Share of the archive per kind, and how much deflate shrinks each kind (measured on this
    // generator's output): text about 3.7 times, half-random blocks about 1.6 times.
    constexpr double textRatio = 3.7;
    constexpr double mixedRatio = 1.6;
    const auto smallCount = (int) std::clamp<std::uint64_t>(target / (40 * 1024), 100, 6000);
    const double smallArchiveShare = 0.1;
    const double mixedArchiveShare = 0.3;

    const auto smallBytes = (std::uint64_t) ((double) target * smallArchiveShare * textRatio);
    const auto mixedBytes = (std::uint64_t) ((double) target * mixedArchiveShare * mixedRatio);
    const auto randomBytes = target - (std::uint64_t) ((double) target * (smallArchiveShare + mixedArchiveShare));

    bool ok = true;
    std::string content;

    // Small files: sizes spread from a few hundred bytes to about four times the mean.
    const auto meanSmall = std::max<std::uint64_t>(smallBytes / (std::uint64_t) smallCount, 256);
    static const char* const extensions[] = { ".qml", ".json", ".js", ".txt", ".xml", ".ts", ".css", ".ini" };
    for (int i = 0; ok && i < smallCount; ++i) {
        const auto dir = root + "/Solvanter/resources/module" + std::to_string(i / 200) + "/part"
                       + std::to_string((i / 20) % 10);
        const auto size = (std::size_t) (128 + random.below(2 * meanSmall));
        content.clear();
        append_text(content, size, random);
        ok = make_dirs(dir) && write_file(dir + "/file" + std::to_string(i) + extensions[i % 8], content);
    }

    const int mixedCount = 8;
    for (int i = 0; ok && i < mixedCount; ++i) {
        const auto dir = root + "/Solvanter/lib";
        ok = make_dirs(dir)
          && write_blocks(dir + "/libsolvanter" + std::to_string(i) + ".so", mixedBytes / mixedCount, 0.5, random);
    }

    const int randomCount = 3;
    for (int i = 0; ok && i < randomCount; ++i) {
        const auto dir = root + "/Solvanter/data";
        ok = make_dirs(dir)
          && write_blocks(dir + "/assets" + std::to_string(i) + ".pak", randomBytes / randomCount, 1.0, random);
    }

    if (! ok) {
        std::fprintf(stderr, "%s: cannot write below %s: %s\n", argv[0], root.c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}
