#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace platform {

// The one way a command writes a file the user named (a picture, a map, a status line, a
// capture). What the name stands for decides how:
//  - a regular file, or a name not yet taken: the bytes go to a temporary file beside it,
//    which is flushed and then renamed over the name in one step, so a reader (or the disk
//    after a power cut) sees the old file or the whole new one, never a torn one; a failed
//    write leaves nothing behind. A symbolic link keeps pointing where it did: the file it
//    names is replaced, not the link;
//  - a device, a FIFO, a socket or standard output (-, /dev/stdout, /proc/self/fd/N): written
//    to straight, as the user asked, and never replaced by a file.
// Every failure is kept as "Cannot write file NAME: reason".
class OutputFile {
  public:
    OutputFile() = default;
    // A file neither committed nor discarded is discarded.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool open(const std::string& path);
    bool write(std::span<const uint8_t> bytes);
    bool write(const std::string& text) {
        return write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    }
    // Makes what was written the file's content: flushed and renamed into place, or, on a
    // device, flushed as far as it goes. False when any step since open failed.
    bool commit();
    // Drops an unfinished file: a temporary file is removed, a device is closed.
    void discard();

    bool isOpen() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

  private:
    bool fail(const std::string& path, int err);
    bool connectTo(const std::string& socketPath);

    int fd_ = -1;
    bool direct_ = false;
    bool failed_ = false;
    std::string path_;       // the name as given, for messages
    std::string target_;     // the file that gets replaced (links followed)
    std::string temporary_;  // the file being written, beside target_
    std::string error_;
};

// Opens, writes and commits `bytes` in one go; false with "Cannot write file NAME: reason"
// in `error`.
bool writeOutputFile(const std::string& path, std::span<const uint8_t> bytes, std::string& error);

// True when `output` already names the same file as `input` (links followed). A command
// refuses such an output before it reads anything: writing would destroy what it reads.
bool isSameFile(const std::string& output, const std::string& input);

}  // namespace platform
