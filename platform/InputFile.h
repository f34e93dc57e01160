#pragma once
#include <array>
#include <cstdint>
#include <istream>
#include <span>
#include <streambuf>
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
    // Moves to `offset` from the start (whence SEEK_SET), the position (SEEK_CUR) or the end
    // (SEEK_END); the new position, or -1.
    int64_t seek(int64_t offset, int whence);
    // The descriptor, for libraries that read a file by it (-1 when not open); it stays this
    // object's to close.
    int descriptor() const { return fd_; }
    // A second descriptor of the open file (-1 when not open or on failure), for a library
    // that closes the descriptor it is given: libsndfile does so even when it refuses the
    // file, and closing ours a second time could close another thread's file by then.
    int duplicate() const;

  private:
    int fd_ = -1;
};

// An InputFile as a C++ stream, for readers written against std::istream (lines, chunks,
// seeks). fail() is set at once when open() refused the file.
class InputStream : public std::istream {
  public:
    InputStream();
    bool open(const std::string& path);

  private:
    class Buffer : public std::streambuf {
      public:
        InputFile file;

      protected:
        int_type underflow() override;
        pos_type seekoff(off_type offset, std::ios_base::seekdir dir,
                         std::ios_base::openmode which) override;
        pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

      private:
        std::array<char, 65536> data_{};
    };
    Buffer buffer_;
};

// The first `limit` bytes of the regular file `path` (all of it when shorter). False as
// InputFile::open, or on a read error.
bool readRegularFile(const std::string& path, size_t limit, std::vector<uint8_t>& bytes);

}  // namespace platform
