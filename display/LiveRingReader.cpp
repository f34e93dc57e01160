#include "display/LiveRingReader.h"

#include <algorithm>
#include <mutex>

#include "sequence/SequenceFile.h"

int32_t LiveRingReader::ReadNewestFirst(SequenceFile& file, std::span<int32_t> out) {
    std::lock_guard<std::mutex> lock(file.mutex());
    int32_t head = 0, tail = 0;
    file.ringBounds(head, tail);
    const int32_t mask = SequenceFile::ringMask();
    const int32_t available = (head - tail) & mask;
    const int32_t n = std::min<int32_t>(available, static_cast<int32_t>(out.size()));
    for (int32_t k = 0; k < n; ++k)
        out[static_cast<size_t>(k)] = file.ringFrequency((head - 1 - k) & mask);
    return n;
}
