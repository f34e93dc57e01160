#include "tools/zelkora-tool/OrderedWork.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/zelkora-tool/ToolArgs.h"

namespace tool {

std::optional<int> jobsOption(ToolArgs& args) {
    const int cores = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
    const auto jobs = args.integer("--jobs", cores, 1, 256);
    if (!jobs) return std::nullopt;
    return static_cast<int>(*jobs);
}

size_t OrderedWork::slotCount(int jobs) {
    if (jobs <= 1) return 1;
    // Files differ a hundredfold in their work. With few items in flight, a thread that has
    // done the next ones waits for a slow one to be handed on (with two per thread, two jobs
    // ran only 1.4 times as fast as one); eight per thread keep both cores busy. Many jobs
    // keep two each, so that memory stays bounded.
    const auto n = static_cast<size_t>(jobs);
    return std::max(2 * n, std::min<size_t>(8 * n, 64));
}

void OrderedWork::run(size_t count, int jobs, const std::function<void(size_t, size_t)>& work,
                      const std::function<void(size_t, size_t)>& emit) {
    if (jobs <= 1 || count <= 1) {
        for (size_t i = 0; i < count; ++i) {
            work(i, 0);
            emit(i, 0);
        }
        return;
    }
    const size_t window = slotCount(jobs);
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<char> ready(window, 0);
    size_t next = 0;     // the next item a thread takes
    size_t emitted = 0;  // items handed on so far; their slots are free again
    auto worker = [&] {
        std::unique_lock lock(mutex);
        while (true) {
            changed.wait(lock, [&] { return next >= count || next < emitted + window; });
            if (next >= count) return;
            const size_t index = next++;
            lock.unlock();
            work(index, index % window);
            lock.lock();
            ready[index % window] = 1;
            changed.notify_all();
        }
    };
    std::vector<std::jthread> threads;
    const size_t threadCount = std::min(static_cast<size_t>(jobs), count);
    for (size_t t = 0; t < threadCount; ++t) threads.emplace_back(worker);
    for (size_t i = 0; i < count; ++i) {
        const size_t slot = i % window;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return ready[slot] != 0; });
        }
        emit(i, slot);
        std::lock_guard lock(mutex);
        ready[slot] = 0;
        emitted = i + 1;
        changed.notify_all();
    }
}

}  // namespace tool
