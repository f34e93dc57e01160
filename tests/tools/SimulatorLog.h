#pragma once
// What the module simulator logged as sent, and the files a recorder wrote from it.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
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

}  // namespace testing_support
