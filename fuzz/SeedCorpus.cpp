// Writes starting inputs for the fuzzers: sequence files of every code width and of the older
// types, and track files of plausible records. Usage: SeedCorpus SEQUENCE_DIR TRACK_DIR
#include <cstdint>
#include <fstream>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "gps/TrackRecord.h"
#include "sequence/SequenceTestData.h"

namespace {

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string sequenceDir = argv[1];
    const std::string trackDir = argv[2];

    std::mt19937 rng(14);
    const size_t lengths[] = {1, 2, 40, 500, 3000};
    int n = 0;
    for (size_t length : lengths) {
        auto store = seqtest::storeFromIntervals(seqtest::randomIntervals(rng, length));
        const SequenceStartTime start{
            .year = 2026, .month = 6, .day = 21, .hour = 22, .minute = 15};
        const PositionBlock position =
            PositionBlock::build(PositionBlock::kModeLatLon, 52.5, -1.25, 80);
        writeFile(sequenceDir + "/seq84-" + std::to_string(n++),
                  seqtest::encode(*store, start, position));
    }
    for (uint8_t type : {seqformat::kType81, seqformat::kType82, seqformat::kType83}) {
        std::vector<uint8_t> data(600);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        writeFile(sequenceDir + "/seq-old-" + std::to_string(type),
                  seqtest::oldTypeImage(type, data));
    }

    std::vector<uint8_t> track;
    for (int i = 0; i < 24; ++i) {
        TrackRecord r;
        r.year = 2026;
        r.month = 1 + i % 12;
        r.day = 1 + i;
        r.timeMs = i * 3600000;
        r.latitudeE6 = 52500000 - i * 1234;
        r.longitudeE6 = -1250000 + i * 4321;
        r.altitudeMm = 80000 + i * 10;
        r.status = static_cast<char>('0' + TrackRecord::statusCode(static_cast<uint32_t>(i % 8)));
        r.satellites = static_cast<uint8_t>(i);
        r.pdop10 = i % 5 == 0 ? TrackRecord::kDopNotReported : static_cast<uint16_t>(10 + i);
        r.hdop10 = static_cast<uint16_t>(8 + i);
        r.vdop10 = static_cast<uint16_t>(12 + i);
        uint8_t bytes[TrackRecord::kSize];
        r.encode(bytes);
        writeFile(trackDir + "/record-" + std::to_string(i),
                  std::vector<uint8_t>(bytes, bytes + TrackRecord::kSize));
        track.insert(track.end(), bytes, bytes + TrackRecord::kSize);
    }
    writeFile(trackDir + "/track", track);
    return 0;
}
