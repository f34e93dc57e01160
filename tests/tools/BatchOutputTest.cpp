// What the batch commands build their output from: work done on several threads handed on
// in order with a bounded number of files in flight, the -j option, and call rows formatted
// in integers exactly as the floating-point formatter prints them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "tools/zelkora-tool/CallRows.h"
#include "tools/zelkora-tool/OrderedWork.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

TEST(OrderedWork, ItemsComeOutInOrderWithABoundedNumberInFlight) {
    for (const int jobs : {1, 2, 5}) {
        for (const size_t count : {size_t{0}, size_t{1}, size_t{3}, size_t{300}}) {
            std::vector<size_t> slots(tool::OrderedWork::slotCount(jobs), SIZE_MAX);
            std::atomic<int> inFlight = 0, mostInFlight = 0;
            std::vector<size_t> emitted;
            tool::OrderedWork::run(
                count, jobs,
                [&](size_t index, size_t slot) {
                    const int now = ++inFlight;
                    int most = mostInFlight.load();
                    while (now > most && !mostInFlight.compare_exchange_weak(most, now)) {
                    }
                    // Later items often finish first.
                    std::this_thread::sleep_for(std::chrono::microseconds((index * 7919) % 300));
                    slots[slot] = index * 3;
                },
                [&](size_t index, size_t slot) {
                    EXPECT_EQ(slots[slot], index * 3) << "a slot reused before its turn";
                    emitted.push_back(index);
                    --inFlight;
                });
            ASSERT_EQ(emitted.size(), count) << jobs << " jobs";
            for (size_t i = 0; i < count; ++i) EXPECT_EQ(emitted[i], i);
            EXPECT_LE(mostInFlight.load(), static_cast<int>(slots.size())) << jobs << " jobs";
        }
    }
}

TEST(OrderedWork, JobsOption) {
    auto jobs = [](std::vector<std::string> args) -> std::optional<int> {
        tool::ToolArgs parsed({"--jobs"}, {});
        if (!parsed.parse(args)) return -1;
        return tool::jobsOption(parsed);
    };
    EXPECT_EQ(jobs({"-j", "3", "x"}), 3);
    EXPECT_EQ(jobs({"-j7"}), 7);
    EXPECT_EQ(jobs({"--jobs=2"}), 2);
    EXPECT_EQ(jobs({}), static_cast<int>(std::max(1U, std::thread::hardware_concurrency())));
    EXPECT_EQ(jobs({"-j"}), -1);  // the value is missing
}

// A row as the floating-point formatter makes it, column by column.
std::string referenceRow(const std::string& file, size_t index, const std::string& start,
                         const CallMeasurements::Call& c) {
    auto fixed = [](double v, int decimals) {
        char text[64];
        return std::string(
            text,
            std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals).ptr);
    };
    std::string row = file + "," + std::to_string(index) + "," + start + "," +
                      fixed(c.startUs / 1000.0, 3) + "," + fixed(c.durationUs / 1000.0, 3) + "," +
                      std::to_string(c.dots);
    for (double khz : {c.fmaxKhz, c.fminKhz, c.fmeanKhz, c.fcharKhz, c.fkneeKhz}) {
        row += "," + fixed(khz, 3);
    }
    row += "," + fixed(c.slopeOctPerS, 2) + "," + (c.tbcUs >= 0 ? fixed(c.tbcUs / 1000.0, 3) : "");
    return row + "\n";
}

TEST(CallRowsText, IntegerFormattingGivesWhatTheFloatingPointFormatterGives) {
    // Half-way values (x.xxx5 from millihertz), tiny negative slopes ("-0.00"), negative
    // zero, and a file that runs past midnight into a new year.
    SequenceFileHeader header;
    header.hasStartTime = true;
    header.start = {2011, 12, 31, 23, 59, 59, 95};  // year, month, day, h, min, s, 1/100 s
    const tool::CallRows rows("night/P1.00#", header, false);
    std::mt19937_64 random(23);
    auto any = [&](int64_t n) { return static_cast<int64_t>(random() % static_cast<uint64_t>(n)); };
    for (int k = 0; k < 200000; ++k) {
        CallMeasurements::Call c;
        c.startUs = any(k % 2 ? 2000000 : 1000);
        c.durationUs = any(50000);
        c.dots = static_cast<int32_t>(any(500));
        c.fmaxKhz = static_cast<double>(any(250000) * 1000 + (k % 3 ? 500 : any(1000))) / 1e6;
        c.fminKhz = static_cast<double>(any(250000000)) / 1e6;
        c.fmeanKhz = static_cast<double>(any(1 << 30)) / 7e6;
        c.fcharKhz = std::exp2(static_cast<double>(any(1 << 20)) / (1 << 14));
        c.fkneeKhz = k % 5 ? c.fcharKhz * 1.25 : 0.0005 * static_cast<double>(any(2000));
        c.slopeOctPerS = k % 4 == 0   ? -0.001 * static_cast<double>(any(10))
                         : k % 4 == 1 ? -0.0
                                      : (static_cast<double>(any(2000000)) - 1e6) / 1024;
        c.tbcUs = k % 3 ? any(100000) : -1;
        std::string row;
        rows.append(row, static_cast<size_t>(k), c, false);
        const std::string expected = referenceRow("night/P1.00#", static_cast<size_t>(k),
                                                  tool::startTimeText(header, c.startUs), c);
        ASSERT_EQ(row, expected) << k;
    }
}

TEST(CallRowsText, StartTimesGivenAsTextAndFileNamesQuoted) {
    CallMeasurements::Call c;
    c.startUs = 1500;
    c.durationUs = 2250;
    c.dots = 9;
    c.fmaxKhz = 80.0625;  // exactly half-way: to even, as the formatter rounds
    c.slopeOctPerS = -12.345;
    c.echo = true;
    EXPECT_EQ(tool::callRow("a,\"b\".00#", 2, "", c, false, true),
              "\"a,\"\"b\"\".00#\",2,,1.500,2.250,9,80.062,0.000,0.000,0.000,0.000,-12.35,,1\n");
    EXPECT_EQ(tool::callRow("x.00#", 1, "", c, true),
              "{\"file\":\"x.00#\",\"call\":1,\"start_time\":null,\"offset_ms\":1.500,"
              "\"duration_ms\":2.250,\"dots\":9,\"fmax_khz\":80.062,\"fmin_khz\":0.000,"
              "\"fmean_khz\":0.000,\"fchar_khz\":0.000,\"fknee_khz\":0.000,"
              "\"slope_oct_per_s\":-12.35,\"tbc_ms\":null}\n");
}

}  // namespace
