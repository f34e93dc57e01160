#pragma once
// What the module simulator logged as sent, and the files a recorder wrote from it.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "sequence/SequenceFormat.h"

namespace testing_support {

struct LoggedInterval {
    int64_t end = 0;  // the zero crossing that ends it, µs on the local clock
    int32_t interval = 0;
};

inline std::vector<LoggedInterval> readLog(const std::filesystem::path& path) {
    std::vector<LoggedInterval> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 2 || line[0] != 'I') continue;
        std::istringstream fields(line.substr(2));
        LoggedInterval i;
        fields >> i.end >> i.interval;
        out.push_back(i);
    }
    return out;
}

struct SavedFile {
    std::string name;
    std::vector<int32_t> intervals;
    JulianTime start;
};

inline SavedFile readSaved(const std::filesystem::path& folder, const std::string& name) {
    SavedFile f{name, {}, JulianTime::invalid()};
    std::ifstream in(folder / name, std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
    DotStore store;
    SequenceFileHeader header;
    if (decodeSequenceImage(image, store) == 0 || !readSequenceHeader(image, header)) return f;
    for (int32_t i = 1; i < store.count; ++i)
        f.intervals.push_back(store.times[i] - store.times[i - 1]);
    const SequenceStartTime& s = header.start;
    f.start = JulianTime::fromDateTime(s.year, s.month, s.day, s.hour, s.minute, s.second,
                                       s.microsecond());
    return f;
}

// Where `part` lies in the log as an unbroken run of intervals, or -1.
inline int64_t findRun(const std::vector<LoggedInterval>& log, const std::vector<int32_t>& part,
                       size_t from = 0) {
    if (part.empty()) return -1;
    for (size_t p = from; p + part.size() <= log.size(); ++p) {
        size_t k = 0;
        while (k < part.size() && log[p + k].interval == part[k]) ++k;
        if (k == part.size()) return static_cast<int64_t>(p);
    }
    return -1;
}

// When each interval's first byte reached the host, from the simulator's W lines (the bytes
// of the logged items in order, handed over in the logged chunks), and the pause before the
// chunk when it is the first value that starts in it (0 for every other value).
struct Arrivals {
    std::vector<int64_t> firstByte;  // per logged interval
    std::vector<int64_t> pauseBefore;
};

inline Arrivals readArrivals(const std::filesystem::path& path) {
    std::vector<std::pair<int64_t, int64_t>> chunks;  // time, bytes handed so far
    std::vector<int64_t> starts;                      // byte offset of each interval
    int64_t offset = 0, handed = 0;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 2 || line[0] == '#') continue;
        std::istringstream fields(line.substr(2));
        int64_t time = 0, value = 0;
        fields >> time >> value;
        if (line[0] == 'W') {
            handed += value;
            chunks.emplace_back(time, handed);
        } else if (line[0] == 'V') {
            offset += 7;
        } else if (line[0] == 'I') {
            starts.push_back(offset);
            for (uint64_t v = static_cast<uint64_t>(value); v != 0; v >>= 7) ++offset;
        }
    }
    Arrivals a;
    size_t c = 0;
    int64_t lastChunk = -1;
    for (int64_t start : starts) {
        while (c < chunks.size() && chunks[c].second <= start) ++c;
        if (c == chunks.size()) break;
        a.firstByte.push_back(chunks[c].first);
        const int64_t pause = c == 0 ? INT64_MAX : chunks[c].first - chunks[c - 1].first;
        a.pauseBefore.push_back(static_cast<int64_t>(c) != lastChunk ? pause : 0);
        lastChunk = static_cast<int64_t>(c);
    }
    return a;
}

// How far a file's start stamp lies from the arrival of the first byte of the burst it was
// taken at (µs), for a file found at `at` in the log. The start comes from the newest burst
// stamp before the file's end: the stamp gives the time of that burst's first interval, and
// the intervals the rest. Which pause the recorder took for a burst is its own affair (the
// simulator may pause for a millisecond or two within a call while the recorder gathers),
// but a pause of 10 ms or more it takes for sure: the stamp is one of those back to there.
inline std::optional<int64_t> burstStampError(const std::vector<LoggedInterval>& log,
                                              const Arrivals& arrivals, const SavedFile& f,
                                              int64_t at) {
    const int64_t last = at + static_cast<int64_t>(f.intervals.size()) - 1;
    if (static_cast<size_t>(last) >= arrivals.firstByte.size()) return std::nullopt;
    const int64_t fileStart =
        log[static_cast<size_t>(at)].end - log[static_cast<size_t>(at)].interval;
    std::optional<int64_t> error;
    for (int64_t k = last; k >= 0; --k) {
        const int64_t pause = arrivals.pauseBefore[static_cast<size_t>(k)];
        if (pause < 1000) continue;
        const int64_t stamp = f.start.value() + (log[static_cast<size_t>(k)].end - fileStart);
        const int64_t e = stamp - arrivals.firstByte[static_cast<size_t>(k)];
        if (!error || std::abs(e) < std::abs(*error)) error = e;
        if (pause >= 10000) break;
    }
    return error;
}

}  // namespace testing_support
