#pragma once
#include <memory>
#include <string>
#include <vector>

#include "sequence/DotStore.h"
#include "sequence/SequenceFormat.h"

namespace tool {

// A sequence file read as the viewer reads it: at most 32 768 bytes, decoded, frequencies
// computed.
struct LoadedSequence {
    SequenceFileHeader header;
    std::unique_ptr<DotStore> dots = std::make_unique<DotStore>();
    std::vector<uint8_t> image;  // the file's bytes; kept so that a reused one reads faster
};

// 0 when loaded; otherwise "Cannot open file NAME" or "File Corrupt NAME" (a line) goes to
// standard error, or into `message` when given (a worker thread leaves the printing to the
// thread that keeps the output in order), and the result is kExitBadFile.
int loadSequenceFile(const std::string& path, LoadedSequence& out, std::string* message = nullptr);

}  // namespace tool
