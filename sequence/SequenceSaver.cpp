#include "sequence/SequenceSaver.h"

#include <algorithm>
#include <new>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/FreeSpace.h"
#include "platform/InputFile.h"
#include "platform/MessageSink.h"
#include "sequence/SequenceNaming.h"

namespace {

int32_t report(int32_t result) {
    const std::string text = SequenceSaver::failureMessage(result);
    if (!text.empty()) platform::showMessage(text, platform::MessageIcon::Exclamation);
    return result;
}

// A file is at most a few tens of kilobytes: read whole and compared. A name taken by a
// FIFO or a device holds no sequence, and is not opened.
bool holdsExactly(const std::string& path, std::span<const uint8_t> image) {
    std::vector<uint8_t> bytes;
    return platform::readRegularFile(path, image.size() + 1, bytes) &&
           std::ranges::equal(bytes, image);
}

}  // namespace

std::string SequenceSaver::failureMessage(int32_t result) {
    if (result == kDiskFull) return kDiskFullMessage;
    if (result == kCannotWrite) return kWriteFailedMessage;
    return {};
}

int32_t SequenceSaver::write(const std::string& folder, const DotStore& store,
                             const SequenceHeaderText& header, JulianTime start,
                             const PositionBlock& position, std::string* savedName,
                             bool* alreadyThere) {
    std::vector<uint8_t> image;
    try {
        image.resize(seqformat::kMaxFileSize);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    image.resize(
        encodeSequenceImage(store, header, SequenceStartTime::fromJulian(start), position, image));
    return writeImage(folder, image, start, savedName, alreadyThere);
}

int32_t SequenceSaver::save(const std::string& folder, const DotStore& store,
                            const SequenceHeaderText& header, JulianTime start,
                            const PositionBlock& position, std::string* savedName) {
    return report(write(folder, store, header, start, position, savedName));
}

int32_t SequenceSaver::saveImage(const std::string& folder, std::span<const uint8_t> image,
                                 JulianTime start, std::string* savedName) {
    return report(writeImage(folder, image, start, savedName));
}

int32_t SequenceSaver::writeImage(const std::string& folder, std::span<const uint8_t> image,
                                  JulianTime start, std::string* savedName, bool* alreadyThere) {
    if (alreadyThere) *alreadyThere = false;
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';

    // Two sequences may start within one second; the later one moves on to the next free
    // second of its name rather than replacing the earlier file.
    for (int32_t probe = 0; probe <= kMaxNameProbes; ++probe) {
        JulianTime nameTime = start.isValid() ? start + int64_t{probe} * JulianTime::kSecond
                                              : JulianTime(int64_t{probe} * JulianTime::kSecond);
        std::string name = seqnaming::sequenceFileName(nameTime);
        bool exists = false;
        if (platform::createFileAtomically(prefix + name, image, &exists)) {
            if (savedName) *savedName = name;
            return kOk;
        }
        if (!exists) break;
        if (alreadyThere && holdsExactly(prefix + name, image)) {
            *alreadyThere = true;
            if (savedName) *savedName = name;
            return kOk;
        }
    }
    // Worth telling apart: the user can free space, and saving then goes on.
    if (platform::volumeIsFull(prefix.empty() ? "." : prefix, image.size())) return kDiskFull;
    return kCannotWrite;
}
