// Any bytes at all, read as a sequence file: the decoder must reject or decode them without
// reading outside the image or the store, and the frequencies must follow from any times.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "sequence/DotStore.h"
#include "sequence/SequenceFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto store = std::make_unique<DotStore>();
    const std::span<const uint8_t> image(data, size);

    SequenceFileHeader header;
    const bool headerOk = readSequenceHeader(image, header);

    *store = DotStore{};
    const int32_t count = decodeSequenceImage(image, *store);
    if (count < 0 || count > DotStore::kCapacity) std::abort();
    // A file the decoder takes must have passed the header check first.
    if (count > 0 && !headerOk) std::abort();
    if (count > 0) {
        if (store->count != count) std::abort();
        computeDotFrequencies(*store);
    }
    return 0;
}
