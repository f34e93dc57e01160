// The stream decoder can read straight from a serial port; the fuzzer feeds it bytes instead
// and never opens one, so the port's read is a stand-in that must never run.
#include <cstdlib>

#include "acquisition/CommFile.h"

namespace acquisition {

int32_t CommFile::ComGetByte() {
    std::abort();
}

}  // namespace acquisition
