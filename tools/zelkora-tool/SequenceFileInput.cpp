#include "tools/zelkora-tool/SequenceFileInput.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "tools/zelkora-tool/Command.h"

namespace tool {

int loadSequenceFile(const std::string& path, LoadedSequence& out) {
    std::error_code ec;
    std::ifstream in;
    if (!std::filesystem::is_directory(path, ec)) in.open(path, std::ios::binary);
    if (!in.is_open() || !in) {
        std::fprintf(stderr, "Cannot open file %s\n", path.c_str());
        return kExitBadFile;
    }
    std::vector<uint8_t> image(seqformat::kMaxFileSize);
    in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()));
    image.resize(static_cast<size_t>(in.gcount()));
    if (!readSequenceHeader(image, out.header) || decodeSequenceImage(image, *out.dots) <= 0) {
        std::fprintf(stderr, "File Corrupt %s\n", path.c_str());
        return kExitBadFile;
    }
    computeDotFrequencies(*out.dots);
    return kExitOk;
}

}  // namespace tool
