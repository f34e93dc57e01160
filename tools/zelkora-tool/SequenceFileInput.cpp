#include "tools/zelkora-tool/SequenceFileInput.h"

#include <cstdio>
#include <vector>

#include "platform/InputFile.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/OrderedWork.h"
#include "tools/zelkora-tool/ProgressLine.h"

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

int printSequenceTexts(const std::vector<std::string>& paths, int jobs, const SequenceText& format,
                       const std::string& header, const char* separator, ProgressLine* progress,
                       bool failedBefore) {
    struct FileWork {
        LoadedSequence loaded;
        std::string out;      // the file's text
        std::string message;  // why it could not be read
    };
    std::vector<FileWork> perSlot(OrderedWork::slotCount(jobs));
    auto work = [&](size_t index, size_t slot) {
        FileWork& w = perSlot[slot];
        w.out.clear();
        w.message.clear();
        if (loadSequenceFile(paths[index], w.loaded, &w.message) == kExitOk) {
            format(paths[index], w.loaded, w.out);
        }
    };
    // Written in large blocks: whole files' texts through a large buffer.
    std::setvbuf(stdout, nullptr, _IOFBF, size_t{1} << 20);
    std::fputs(header.c_str(), stdout);
    bool failed = failedBefore, first = true;
    OrderedWork::run(paths.size(), jobs, work, [&](size_t, size_t slot) {
        const FileWork& w = perSlot[slot];
        if (progress != nullptr) progress->step();
        if (!w.message.empty()) {
            // In its place among the rows, as a single job prints it.
            std::fflush(stdout);
            if (progress != nullptr) progress->clear();
            std::fputs(w.message.c_str(), stderr);
            failed = true;
            return;
        }
        if (!first) std::fputs(separator, stdout);
        first = false;
        std::fwrite(w.out.data(), 1, w.out.size(), stdout);
    });
    if (progress != nullptr) progress->finish();
    // A write that failed is reported, with its reason, as the tool ends.
    return failed ? kExitBadFile : kExitOk;
}

}  // namespace tool
