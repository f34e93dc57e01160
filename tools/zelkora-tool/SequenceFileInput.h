#pragma once
#include <functional>
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

class ProgressLine;

// Turns each file of `paths` into text with `format` (on `jobs` threads) and writes `header`
// and then the texts to standard output in the files' order, `separator` between two files'
// texts, through a
// large buffer; a file that cannot be read is reported on standard error in its place.
// `progress` (may be null) steps once a file. The exit status: kExitBadFile when a file
// could not be read (or `failedBefore`), else 0; standard output's own failure is the
// tool's to report as it ends.
using SequenceText =
    std::function<void(const std::string& path, const LoadedSequence& file, std::string& out)>;
int printSequenceTexts(const std::vector<std::string>& paths, int jobs, const SequenceText& format,
                       const std::string& header, const char* separator, ProgressLine* progress,
                       bool failedBefore);

}  // namespace tool
