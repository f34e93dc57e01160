#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace tool {

class ToolArgs;

// The number of files a batch command works on at once: `-j N` / `--jobs N` (1..256), by
// default the number of processor cores. Nullopt (with the parser's error set) when the
// value is not such a number.
std::optional<int> jobsOption(ToolArgs& args);

// Items 0 .. count-1 worked on by `jobs` threads and handed on in their order, as a single
// thread would: `work(index, slot)` runs on any thread, `emit(index, slot)` on the calling
// thread, in index order, so output comes out byte for byte as with one job. At most
// `slotCount(jobs)` items are in flight (worked on or waiting for their turn), so a caller keeps
// one result per slot, reused from item to item, and memory stays bounded however many
// items there are. With one job everything runs on the calling thread in slot 0.
class OrderedWork {
  public:
    static size_t slotCount(int jobs);
    static void run(size_t count, int jobs, const std::function<void(size_t, size_t)>& work,
                    const std::function<void(size_t, size_t)>& emit);
};

}  // namespace tool
