#include "tools/zelkora-tool/SequenceFileInput.h"

#include <cstdio>
#include <vector>

#include "platform/InputFile.h"
#include "tools/zelkora-tool/Command.h"

namespace tool {

int loadSequenceFile(const std::string& path, LoadedSequence& out) {
    std::vector<uint8_t> image;
    if (!platform::readRegularFile(path, seqformat::kMaxFileSize, image)) {
        std::fprintf(stderr, "Cannot open file %s\n", path.c_str());
        return kExitBadFile;
    }
    if (!readSequenceHeader(image, out.header) || decodeSequenceImage(image, *out.dots) <= 0) {
        std::fprintf(stderr, "File Corrupt %s\n", path.c_str());
        return kExitBadFile;
    }
    computeDotFrequencies(*out.dots);
    return kExitOk;
}

}  // namespace tool
