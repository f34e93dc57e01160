#pragma once
#include <chrono>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>

// Recovers the temporary files that a save cut short leaves in the sequence folder: the
// program was killed, or the power failed, after the image was written but before it got
// its final name ("NAME.tmpXXXXXX", hidden from the list for ever otherwise).
//
// A temporary file older than a minute (younger ones may belong to a save in progress, in
// this program or another) that holds a whole image as the writer makes it is published
// under its name if that name is free, or held only by the empty claim an interrupted save
// leaves on file systems without hard links. Under a name that holds the same bytes the
// save had in fact completed, and the copy is removed. Under a name that holds another
// sequence it is published under the next free second, as the saver does, rather than lose
// a sequence. A torn image is removed.
//
// When it runs: a sweep reads the whole folder, which on a card through FUSE with
// thousands of files is not free, while the folder check runs before every save. Orphans
// come from a program that ended abruptly, so they are there when the next one starts; the
// folder check therefore sweeps a folder the first time it is checked and then again only
// while younger temporary files wait for their minute (at most once a minute). Scanning the
// folder for the file list, a rarer and costlier step already, always sweeps first, which
// also catches orphans of another program writing into the same folder.
class OrphanRecovery {
  public:
    static constexpr std::chrono::seconds kMinimumAge{60};

    struct Result {
        int32_t published = 0;  // files that got their name back (or the next free one)
        int32_t removed = 0;    // torn images, and copies of files that were published
        int32_t waiting = 0;    // temporary files younger than a minute, left for later
    };

    // Sweeps `folderPath` now.
    static Result sweep(const std::string& folderPath);

    // True when `image` is a whole type 0x84 image as the writer makes it: the header is
    // valid, the interval codes run exactly to its end and are those the writer would
    // choose. A write cut off inside a code, or one that stops the decoder early, fails.
    static bool isCompleteImage(std::span<const uint8_t> image);

    // The folder check's gate: sweeps when `folderPath` differs from the last folder swept
    // through here, or when the last sweep left temporary files waiting and a minute has
    // passed. Safe to call from any thread, and cheap when it does not sweep.
    void onFolderCheck(const std::string& folderPath);

  private:
    std::mutex mutex_;
    std::string lastFolder_;
    bool waiting_ = false;
    std::chrono::steady_clock::time_point retryAt_{};
};
