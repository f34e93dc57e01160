// Real receiver captures against an independent, widely used GPS daemon's reports of the
// same input (the .chk file beside each capture).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "gps/GpsReceiver.h"

namespace {

namespace fs = std::filesystem;

const fs::path kCaptures = fs::path(ZELKORA_SHARED_DATA) / "nmea";

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::optional<double> jsonNumber(const std::string& json, const std::string& key) {
    const std::string k = "\"" + key + "\":";
    const size_t at = json.find(k);
    if (at == std::string::npos) return std::nullopt;
    return std::strtod(json.c_str() + at + k.size(), nullptr);
}

// Decimal places the daemon printed for `key`, so that agreement is judged to that precision.
int printedDecimals(const std::string& json, const std::string& key) {
    const std::string k = "\"" + key + "\":";
    size_t at = json.find(k) + k.size();
    const size_t dot = json.find('.', at);
    const size_t end = json.find_first_of(",}", at);
    if (dot == std::string::npos || dot > end) return 0;
    return static_cast<int>(end - dot - 1);
}

bool agrees(double ours, const std::string& json, const std::string& key) {
    const auto theirs = jsonNumber(json, key);
    if (!theirs) return true;
    const double half = 0.5 * std::pow(10.0, -printedDecimals(json, key));
    return std::fabs(ours - *theirs) <= half + 1e-9 * half + 1e-12;
}

bool checksumMismatch(const std::string& line) {
    const size_t star = line.find('*');
    if (line.empty() || line[0] != '$' || star == std::string::npos) return false;
    uint32_t x = 0;
    for (size_t i = 1; i < star; ++i) x ^= static_cast<uint8_t>(line[i]);
    const std::string given = line.substr(star + 1);
    return given.size() != 2 || std::strtoul(given.c_str(), nullptr, 16) != x;
}

// One sentence of the daemon's record with the reports that followed it.
struct ChkEntry {
    std::string sentence;
    std::vector<std::string> reports;
};

std::vector<ChkEntry> readChk(const fs::path& p) {
    std::vector<ChkEntry> entries;
    for (const std::string& line : splitLines(readAll(p))) {
        if (line.empty()) continue;
        if (line[0] == '{') {
            if (!entries.empty()) entries.back().reports.push_back(line);
        } else {
            entries.push_back({line, {}});
        }
    }
    return entries;
}

bool isGgaSentence(const std::string& s) {
    return s.size() > 6 && s.compare(3, 4, "GGA,") == 0;
}

struct Stats {
    int ggaAccepted = 0, ggaCompared = 0, gsaCompared = 0, rmcCompared = 0, ignored = 0;
};

Stats checkCapture(const std::string& name) {
    Stats st;
    const std::string log = readAll(kCaptures / name);
    const std::vector<std::string> lines = splitLines(log);
    const std::vector<ChkEntry> chk = readChk(kCaptures / (name + ".chk"));

    // Result at the end of each line (line index -> result).
    GpsReceiver rx;
    std::vector<int32_t> lineResult(lines.size() + 1, 0);
    size_t line = 0;
    for (char c : log) {
        const int32_t r = rx.AddChar(static_cast<uint8_t>(c));
        if (c == '\r' || c == '\n') {
            if (r != 0) lineResult[line] = r;
        } else if (r != 0 && r != GpsReceiver::kSatellites) {
            ADD_FAILURE() << name << ": result " << r << " inside line " << line + 1;
        }
        if (c == '\n') ++line;
    }

    // Walk the capture and the daemon's record together; the record lists the sentences the
    // daemon accepted, in order, and skips those it rejected.
    size_t k = 0;
    GpsReceiver replay;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& s = lines[i];
        std::optional<size_t> entry;
        if (k < chk.size() && chk[k].sentence == s) entry = k++;
        int32_t r = 0;
        for (char c : s + "\r\n") {
            const int32_t x = replay.AddChar(static_cast<uint8_t>(c));
            if (x != 0 && x != GpsReceiver::kSatellites) r = x;
        }
        EXPECT_EQ(r, lineResult[i] == GpsReceiver::kSatellites ? 0 : lineResult[i])
            << name << " line " << i + 1;

        const std::string head = s.substr(0, 7);
        const bool readable =
            head == "$GPGSV," ||
            ((head.rfind("$GP", 0) == 0 || head.rfind("$GN", 0) == 0) &&
             (head.substr(3) == "GGA," || head.substr(3) == "GSA," || head.substr(3) == "RMC,"));
        if (checksumMismatch(s) || !readable) {
            EXPECT_EQ(r, 0) << name << " line " << i + 1 << " must be dropped: " << s;
            ++st.ignored;
            continue;
        }
        const GpsFix& f = replay.current();
        if (r == GpsReceiver::kGga) {
            ++st.ggaAccepted;
            EXPECT_TRUE(entry.has_value()) << name << ": daemon rejected accepted " << s;
            if (!entry) continue;
            // The daemon reports the position at the end of the cycle: the first TPV with a
            // position after this sentence and before the next GGA.
            for (size_t e = *entry; e < chk.size(); ++e) {
                if (e > *entry && isGgaSentence(chk[e].sentence)) break;
                const std::string* tpv = nullptr;
                for (const std::string& rep : chk[e].reports) {
                    if (rep.find("\"class\":\"TPV\"") != std::string::npos &&
                        rep.find("\"lat\":") != std::string::npos) {
                        tpv = &rep;
                        break;
                    }
                }
                if (!tpv) continue;
                EXPECT_TRUE(agrees(f.latitude, *tpv, "lat")) << name << ": " << s << "\n" << *tpv;
                EXPECT_TRUE(agrees(f.longitude, *tpv, "lon")) << name << ": " << s << "\n" << *tpv;
                const std::string altKey =
                    tpv->find("\"altMSL\":") != std::string::npos ? "altMSL" : "alt";
                EXPECT_TRUE(agrees(f.altitude, *tpv, altKey)) << name << ": " << s << "\n" << *tpv;
                ++st.ggaCompared;
                break;
            }
        } else if (r == GpsReceiver::kRmc && entry) {
            // The date and time, against the daemon's time of the same sentence.
            for (const std::string& rep : chk[*entry].reports) {
                const size_t at = rep.find("\"time\":\"");
                if (rep.find("\"class\":\"TPV\"") == std::string::npos || at == std::string::npos)
                    continue;
                int32_t y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, us = 0;
                f.rmcDateTime.dateFields(y, mo, d);
                f.rmcDateTime.timeFields(h, mi, sec, us);
                char ours[32];
                std::snprintf(ours, sizeof ours, "%04d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi,
                              sec);
                EXPECT_EQ(rep.substr(at + 8, 19), ours) << name << ": " << s;
                ++st.rmcCompared;
                break;
            }
        } else if (r == GpsReceiver::kGsa && entry) {
            for (const std::string& rep : chk[*entry].reports) {
                if (rep.find("\"class\":\"SKY\"") == std::string::npos ||
                    rep.find("\"pdop\":") == std::string::npos) {
                    continue;
                }
                EXPECT_TRUE(agrees(f.pdop, rep, "pdop")) << name << ": " << s << "\n" << rep;
                EXPECT_TRUE(agrees(f.hdop, rep, "hdop")) << name << ": " << s << "\n" << rep;
                if (f.vdop != kGpsNotReported) {
                    EXPECT_TRUE(agrees(f.vdop, rep, "vdop")) << name << ": " << s << "\n" << rep;
                }
                ++st.gsaCompared;
                break;
            }
        }
    }
    return st;
}

class Captures : public ::testing::TestWithParam<const char*> {};

TEST_P(Captures, AgreeWithTheIndependentDaemon) {
    if (!fs::exists(kCaptures)) GTEST_SKIP() << "captures not present at " << kCaptures;
    const Stats st = checkCapture(GetParam());
    // Only a GGA at the very end of a capture may lack the daemon's end-of-cycle report.
    EXPECT_GE(st.ggaCompared, st.ggaAccepted - 1);
    RecordProperty("ggaCompared", st.ggaCompared);
    RecordProperty("gsaCompared", st.gsaCompared);
    std::printf("%s: %d GGA accepted, %d compared; %d GSA and %d RMC compared; %d lines ignored\n",
                GetParam(), st.ggaAccepted, st.ggaCompared, st.gsaCompared, st.rmcCompared,
                st.ignored);
}

INSTANTIATE_TEST_SUITE_P(Nmea, Captures,
                         ::testing::Values("bt-q818.log", "bu353-glonass.log", "bu353s4.log",
                                           "cat-ms352.log", "firefly-II.log", "garmin25lp.log",
                                           "gpslim236.log", "haicom-305N.log", "holux-gm-210.log",
                                           "mt3339.log", "nokia-ld-4w.log", "pharos-360.log",
                                           "quectel-L70.log", "skytraq.log", "ublox-lea-5h.log"),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (char& c : n) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return n;
                         });

}  // namespace
