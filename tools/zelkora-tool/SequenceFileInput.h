#pragma once
#include <memory>
#include <string>

#include "sequence/DotStore.h"
#include "sequence/SequenceFormat.h"

namespace tool {

// A sequence file read as the viewer reads it: at most 32 768 bytes, decoded, frequencies
// computed.
struct LoadedSequence {
    SequenceFileHeader header;
    std::unique_ptr<DotStore> dots = std::make_unique<DotStore>();
};

// 0 when loaded; otherwise prints "Cannot open file NAME" or "File Corrupt NAME" to standard
// error and returns kExitBadFile.
int loadSequenceFile(const std::string& path, LoadedSequence& out);

}  // namespace tool
