#include "tools/zelkora-tool/SequenceFileInput.h"

#include <cstdio>
#include <vector>

#include "platform/InputFile.h"
#include "tools/zelkora-tool/Command.h"

namespace tool {

namespace {

int refuse(const char* what, const std::string& path, std::string* message) {
    const std::string line = std::string(what) + path + "\n";
    if (message != nullptr) {
        *message = line;
    } else {
        std::fputs(line.c_str(), stderr);
    }
    return kExitBadFile;
}

}  // namespace

int loadSequenceFile(const std::string& path, LoadedSequence& out, std::string* message) {
    std::vector<uint8_t>& image = out.image;
    if (!platform::readRegularFile(path, seqformat::kMaxFileSize, image)) {
        return refuse("Cannot open file ", path, message);
    }
    if (!readSequenceHeader(image, out.header) || decodeSequenceImage(image, *out.dots) <= 0) {
        return refuse("File Corrupt ", path, message);
    }
    computeDotFrequencies(*out.dots);
    return kExitOk;
}

}  // namespace tool
