#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "sequence/DotStore.h"
#include "sequence/JulianTime.h"
#include "sequence/PositionBlock.h"
#include "sequence/SequenceFormat.h"

// Writes finished sequences into the sequence folder. A file is written whole to a temporary
// name, flushed and then given its name (platform/AtomicFile.h says how, memory cards
// included), so a power cut or a full disk never leaves a torn file, and an existing file is
// never replaced: when the name of the start second is taken, the next free second is used
// in the name (the header keeps the true start time), so names still sort by start time.
//
// The caller checks (and if need be creates) the folder first; the saver only writes into it.
class SequenceSaver {
  public:
    static constexpr int32_t kOk = 0;
    static constexpr int32_t kCannotWrite = -2;
    // The file could not be written because the volume is full.
    static constexpr int32_t kDiskFull = -3;
    static constexpr int32_t kNoMemory = -4;
    // How many later seconds are tried when the start second's name is taken.
    static constexpr int32_t kMaxNameProbes = 60;
    static constexpr const char* kWriteFailedMessage = "Couldn't open output file";
    static constexpr const char* kDiskFullMessage = "Couldn't open output file: the disk is full";

    // Encodes the store as a type 0x84 file with the given start time and position and saves
    // it in `folder` (a path; a missing trailing '/' is added). Returns 0, -2 (the file could
    // not be written: "Couldn't open output file" is shown), -3 (the same on a full volume,
    // which the message says) or -4 (no memory for the image, nothing shown). On success
    // `savedName`, when given, receives the name written.
    static int32_t save(const std::string& folder, const DotStore& store,
                        const SequenceHeaderText& header, JulianTime start,
                        const PositionBlock& position, std::string* savedName = nullptr);

    // Saves an image that is already encoded, named from `start`.
    static int32_t saveImage(const std::string& folder, std::span<const uint8_t> image,
                             JulianTime start, std::string* savedName = nullptr);

    // As save(), but shows nothing: for a caller that reports failures itself (a recording
    // tells the user once per run of failed saves, not once per attempt). With
    // `alreadyThere`, a file under one of the names the sequence could get (its start
    // second or a later one tried) that holds the same bytes counts as this sequence saved
    // before: nothing is written, `savedName` gets that name and `*alreadyThere` is true.
    static int32_t write(const std::string& folder, const DotStore& store,
                         const SequenceHeaderText& header, JulianTime start,
                         const PositionBlock& position, std::string* savedName = nullptr,
                         bool* alreadyThere = nullptr);

    static int32_t writeImage(const std::string& folder, std::span<const uint8_t> image,
                              JulianTime start, std::string* savedName = nullptr,
                              bool* alreadyThere = nullptr);

    // The message for a failed save's result ("" for a result that shows none).
    static std::string failureMessage(int32_t result);
};
