#pragma once
#include <cstdint>
#include <span>

class SequenceFile;

// The view's read of the recorder's recent-value ring for a live redraw: the newest
// frequencies, newest first, copied while the recorder's lock is held (nothing is drawn
// under the lock). Returns how many were copied.
class LiveRingReader {
  public:
    static int32_t ReadNewestFirst(SequenceFile& file, std::span<int32_t> out);
};
