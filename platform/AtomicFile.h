#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace platform {

// Creates the file only if no file of that name exists (the check and the creation are one
// step), so that a reader, or the file system after a power loss, sees no file or the
// complete one, never a torn or empty file (outputs that may replace a file go through
// platform/OutputFile.h), on any file system: memory cards
// (FAT32, exFAT) and FUSE drivers that have neither hard links nor rename flags included.
// Returns false with `exists` set when the name was taken.
bool createFileAtomically(const std::string& path, std::span<const uint8_t> bytes, bool* exists,
                          std::string* error = nullptr);

// Gives the complete, flushed file `from` the name `to` unless a file of that name exists
// (then false with `exists` set, and `from` stays). On success `from` is gone and the folder
// is flushed. `from` and `to` are in the same folder.
bool publishFile(const std::string& from, const std::string& to, bool* exists,
                 std::string* error = nullptr);

// The temporary files these functions write are named "<final name>.tmpXXXXXX". For such a
// file name, the final name it was meant for; empty for any other name.
std::string publishedNameOf(const std::string& fileName);

// The calls that give a temporary file its final name, replaceable so that tests can act
// out file systems that refuse them. Each returns 0 or -1 with errno set, as the system call
// does; an empty function means the system's own call. Replace them only while no save runs.
struct PublishCalls {
    std::function<int(const char* from, const char* to)> link;
    std::function<int(const char* from, const char* to)> renameNoReplace;
    std::function<int(const char* from, const char* to)> rename;
};
// Installs `calls` and returns the ones in force before.
PublishCalls setPublishCalls(PublishCalls calls);

}  // namespace platform
