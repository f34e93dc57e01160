#include "sequence/SequenceSaver.h"

#include <new>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/MessageSink.h"
#include "sequence/SequenceNaming.h"

int32_t SequenceSaver::save(const std::string& folder, const DotStore& store,
                            const SequenceHeaderText& header, JulianTime start,
                            const PositionBlock& position, std::string* savedName) {
    std::vector<uint8_t> image;
    try {
        image.resize(seqformat::kMaxFileSize);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    image.resize(
        encodeSequenceImage(store, header, SequenceStartTime::fromJulian(start), position, image));
    return saveImage(folder, image, start, savedName);
}

int32_t SequenceSaver::saveImage(const std::string& folder, std::span<const uint8_t> image,
                                 JulianTime start, std::string* savedName) {
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
    }
    platform::showMessage(kWriteFailedMessage, platform::MessageIcon::Exclamation);
    return kCannotWrite;
}
