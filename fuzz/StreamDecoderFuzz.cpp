// A noisy serial line: any byte sequence through the module's stream decoder, then the end of
// the capture.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "acquisition/StreamDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    acquisition::StreamDecoder decoder;
    for (size_t i = 0; i < size; ++i) decoder.feed(data[i]);
    decoder.finish();
    // finish() resets: a fresh value starts from nothing.
    if (decoder.inMessage()) std::abort();
    return 0;
}
