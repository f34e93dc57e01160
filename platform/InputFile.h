#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

// A file named by the user, opened for reading only when it is a regular file. A FIFO, a
// socket, a device or a folder is refused at once: reading one would wait for a writer that
// never comes, touch a device, or read nothing that is a file.
class InputFile {
  public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // False when the path cannot be opened or names no regular file.
    bool open(const std::string& path);
    // Up to bytes.size() bytes: the count, 0 at the end of the file, -1 on a read error.
    int64_t read(std::span<uint8_t> bytes);

  private:
    int fd_ = -1;
};

// The first `limit` bytes of the regular file `path` (all of it when shorter). False as
// InputFile::open, or on a read error.
bool readRegularFile(const std::string& path, size_t limit, std::vector<uint8_t>& bytes);

}  // namespace platform
