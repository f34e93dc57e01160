#include "gps/GpsReceiver.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

constexpr bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr char toUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

int32_t hexValue(char c) {
    c = toUpper(c);
    if (isDigit(c)) return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

GpsReceiver::GpsReceiver()
    : clock_([] { return JulianTime::now(); }), utcClock_([] { return JulianTime::utcNow(); }) {}

void GpsReceiver::setClock(Clock clock) {
    clock_ = clock ? std::move(clock) : Clock([] { return JulianTime::now(); });
}

void GpsReceiver::setUtcClock(Clock clock) {
    utcClock_ = clock ? std::move(clock) : Clock([] { return JulianTime::utcNow(); });
}

void GpsReceiver::Reset() {
    current_ = GpsFix{};
    work_ = GpsFix{};
    charCount_ = 0;
    inSentence_ = false;
    starSeen_ = false;
    checksumStarted_ = false;
    checksumOk_ = false;
    xorSum_ = 0;
    validity_ = 0;
}

void GpsReceiver::StartSentence() {
    inSentence_ = true;
    sentence_[0] = '$';
    starSeen_ = false;
    checksumOk_ = false;
    xorSum_ = 0;
    charCount_ = 1;
}

int32_t GpsReceiver::AddChar(int32_t code) {
    const char c = static_cast<char>(code);
    if (!inSentence_) {
        if (c == '$') StartSentence();
        return kNothing;
    }
    if (c == '$') {
        StartSentence();
        return kNothing;
    }
    if (c == '\r' || c == '\n') {
        inSentence_ = false;
        if (!checksumOk_ && starSeen_) return kNothing;
        return ParseSentence();
    }
    if (starSeen_) {
        if (!checksumStarted_) {
            checksumText_[0] = c;
            checksumLength_ = 1;
            checksumStarted_ = true;
        } else {
            if (checksumLength_ < static_cast<int32_t>(checksumText_.size())) {
                checksumText_[static_cast<size_t>(checksumLength_)] = c;
            }
            ++checksumLength_;
            if (VerifyChecksum()) {
                checksumOk_ = true;
            } else {
                inSentence_ = false;
            }
        }
        return kNothing;
    }
    if (c == '*') {
        starSeen_ = true;
        checksumStarted_ = false;
        return kNothing;
    }
    if (charCount_ >= kMaxSentenceLength) {
        // Noise without line ends: give up on it rather than grow.
        inSentence_ = false;
        return kNothing;
    }
    sentence_[static_cast<size_t>(charCount_)] = c;
    xorSum_ ^= static_cast<uint8_t>(c);
    ++charCount_;
    if (charCount_ == 6 && std::string_view(sentence_.data(), 6) != "$GPGSV") {
        // The first sentence after a run of GSV sentences ends the satellite list.
        return CommitSatellites();
    }
    return kNothing;
}

int32_t GpsReceiver::EndOfInput() {
    // Without a verified checksum a sentence cut off by the end cannot be told from one
    // that was whole.
    int32_t result = kNothing;
    if (inSentence_ && checksumOk_) result = AddChar('\n');
    const int32_t committed = CommitSatellites();
    return result != kNothing ? result : committed;
}

bool GpsReceiver::VerifyChecksum() const {
    if (checksumLength_ != 2) return false;
    const int32_t high = hexValue(checksumText_[0]);
    const int32_t low = hexValue(checksumText_[1]);
    if (high < 0 || low < 0) return false;
    return static_cast<uint32_t>(high * 16 + low) == xorSum_;
}

void GpsReceiver::SplitFields() {
    fieldCount_ = 0;
    if (charCount_ <= 7) return;
    const char* p = sentence_.data() + 7;
    const char* end = sentence_.data() + charCount_;
    const char* start = p;
    for (; p != end; ++p) {
        if (*p == ',') {
            fields_[static_cast<size_t>(fieldCount_++)] =
                std::string_view(start, static_cast<size_t>(p - start));
            start = p + 1;
        }
    }
    fields_[static_cast<size_t>(fieldCount_++)] =
        std::string_view(start, static_cast<size_t>(end - start));
}

bool GpsReceiver::ParseInt(std::string_view text, int32_t& value) {
    if (text.empty()) return false;
    const char first = text[0];
    if (!isDigit(first) && first != '+' && first != '-') return false;
    for (size_t i = 1; i < text.size(); ++i) {
        if (!isDigit(text[i])) return false;
    }
    // Like the C library's conversion: a lone sign reads as 0, overflow saturates.
    const bool negative = first == '-';
    int64_t v = 0;
    for (size_t i = isDigit(first) ? 0 : 1; i < text.size(); ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > int64_t{std::numeric_limits<int32_t>::max()} + 1) break;
    }
    if (negative) v = -v;
    if (v > std::numeric_limits<int32_t>::max()) v = std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) v = std::numeric_limits<int32_t>::min();
    value = static_cast<int32_t>(v);
    return true;
}

bool GpsReceiver::ParseReal(std::string_view text, double& value) {
    if (text.empty()) return false;
    const char first = text[0];
    int32_t dots = first == '.' ? 1 : 0;
    if (!isDigit(first) && first != '+' && first != '-' && first != '.') return false;
    for (size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            if (++dots > 1) return false;
        } else if (!isDigit(c)) {
            return false;
        }
    }
    // from_chars does not take a leading '+'; a text without any digit reads as 0 like the
    // C library's conversion.
    if (first == '+') text.remove_prefix(1);
    double v = 0.0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    // A sentence is at most kMaxSentenceLength characters, so no field can leave the
    // range of a double; a failure here is a text without digits.
    if (ec != std::errc() || ptr != text.data() + text.size()) v = 0.0;
    value = v;
    return true;
}

bool GpsReceiver::ParseLatLon(std::string_view number, std::string_view hemisphere,
                              double& degrees) {
    double v = 0.0;
    if (!ParseReal(number, v)) return false;
    // The hemisphere carries the sign; a negative number is damage.
    if (!(v >= 0.0)) return false;
    if (hemisphere.size() != 1) return false;
    const char h = toUpper(hemisphere[0]);
    if (h != 'N' && h != 'S' && h != 'W' && h != 'E') return false;
    const double whole = std::floor(v * 0.01);
    const double minutes = v - whole * 100.0;
    if (minutes >= 60.0) return false;
    double result = whole + minutes * (1.0 / 60.0);
    if (h == 'S' || h == 'W') result = -result;
    degrees = result;
    return true;
}

bool GpsReceiver::ParseTime(std::string_view text, JulianTime& timeOfDay) {
    double v = 0.0;
    if (!ParseReal(text, v)) return false;
    // A time of day is never negative; letting one through would give a clock offset a
    // day or more wrong.
    if (!(v >= 0.0)) return false;
    const double hh = std::floor(v * 0.0001);
    if (hh > 23) return false;
    const double r = v - hh * 10000.0;
    const double mm = std::floor(r * 0.01);
    if (mm > 59) return false;
    const double ss = r - mm * 100.0;
    if (ss >= 60.0) return false;
    JulianTime t = JulianTime::fromReal(hh * 3600000000.0 + mm * 60000000.0 + ss * 1000000.0);
    if (!t.isValid()) return false;
    timeOfDay = t;
    return true;
}

bool GpsReceiver::ParseDate(std::string_view text, JulianTime& date) {
    double v = 0.0;
    if (!ParseReal(text, v)) return false;
    const double dd = std::floor(v * 0.0001);
    if (dd > 31 || dd < 1) return false;
    const double r = v - dd * 10000.0;
    const double mo = std::floor(r * 0.01);
    if (mo > 12 || mo < 1) return false;
    const double yy = r - mo * 100.0;
    JulianTime d = JulianTime::fromDate(static_cast<int32_t>(yy) + 2000, static_cast<int32_t>(mo),
                                        static_cast<int32_t>(dd));
    if (!d.isValid()) return false;
    date = d;
    return true;
}

int32_t GpsReceiver::ParseSentence() {
    if (charCount_ < 7) return kNothing;
    const std::string_view s(sentence_.data(), static_cast<size_t>(charCount_));
    if (s[0] != '$' || s[6] != ',') return kNothing;
    const std::string_view talker = s.substr(1, 2);
    const std::string_view type = s.substr(3, 3);
    // A receiver of several systems may send nothing but "$GN" for its fix: without it such
    // a receiver gives no position, and without its RMC no date, so the clock cannot be set.
    const bool combined = talker == "GN";
    if (talker != "GP" && !combined) return kNothing;
    if (type == "GGA") return ParseGGA();
    if (type == "GSA") return ParseGSA();
    if (type == "GSV" && !combined) return ParseGSV();
    if (type == "RMC") return ParseRMC();
    return kNothing;
}

int32_t GpsReceiver::ParseGGA() {
    SplitFields();
    if (fieldCount_ < 13) return kNothing;
    if (!ParseInt(fields_[5], work_.quality)) return kNothing;
    if (work_.quality < 1) {
        validity_ = 0;
        return kNothing;
    }
    // A no-fix report above still drops the fix whatever its other fields hold; a claimed
    // fix must be possible in every field.
    if (!ParseTime(fields_[0], work_.ggaTime)) return kNothing;
    if (!ParseLatLon(fields_[1], fields_[2], work_.latitude) ||
        !(std::fabs(work_.latitude) <= kMaxLatitude)) {
        return kNothing;
    }
    if (!ParseLatLon(fields_[3], fields_[4], work_.longitude) ||
        !(std::fabs(work_.longitude) <= kMaxLongitude)) {
        return kNothing;
    }
    if (!ParseInt(fields_[6], work_.satellitesUsed) || work_.satellitesUsed < 0 ||
        work_.satellitesUsed > kMaxSatellitesUsed) {
        return kNothing;
    }
    if (!ParseReal(fields_[8], work_.altitude) ||
        !(work_.altitude >= kMinAltitude && work_.altitude <= kMaxAltitude)) {
        return kNothing;
    }
    if (fields_[9] != "M") return kNothing;
    // The separation is kept from sentence to sentence, so a dropped sentence must not leave
    // its value behind.
    double separation = 0.0;
    if (ParseReal(fields_[10], separation)) {
        if (fields_[11] != "M") return kNothing;
        work_.geoidSeparation = separation;
    }
    validity_ |= kValidFix;
    if (work_.quality > 1) validity_ |= kValidDifferential;
    current_.receivedAt = clock_();
    current_.receivedAtUtc = utcClock_();
    current_.ggaTime = work_.ggaTime;
    current_.quality = work_.quality;
    current_.satellitesUsed = work_.satellitesUsed;
    current_.latitude = work_.latitude;
    current_.longitude = work_.longitude;
    current_.altitude = work_.altitude;
    current_.geoidSeparation = work_.geoidSeparation;
    return kGga;
}

int32_t GpsReceiver::ParseGSA() {
    SplitFields();
    if (fieldCount_ < 16) return kNothing;
    if (!ParseInt(fields_[1], work_.fixType)) return kNothing;
    if (work_.fixType < 2) {
        validity_ = 0;
        return kNothing;
    }
    // PDOP, HDOP and VDOP; each one present must be possible before any is taken. (A no-fix
    // report above may carry a receiver's 99.99 for "none" and still drops the fix.)
    const int32_t dopFields = fieldCount_ >= 17 ? 3 : 2;
    std::array<double, 3> dop{};
    std::array<bool, 3> present{};
    for (int32_t k = 0; k < dopFields; ++k) {
        const size_t i = static_cast<size_t>(k);
        present[i] = ParseReal(fields_[14 + i], dop[i]);
        if (present[i] && !(dop[i] >= 0.0 && dop[i] <= kMaxDop)) return kNothing;
    }
    current_.fixType = work_.fixType;
    double* workDop[] = {&work_.pdop, &work_.hdop, &work_.vdop};
    double* currentDop[] = {&current_.pdop, &current_.hdop, &current_.vdop};
    for (size_t i = 0; i < 3; ++i) {
        if (present[i]) *workDop[i] = *currentDop[i] = dop[i];
    }
    validity_ |= kValidFix;
    if (current_.fixType > 2) validity_ |= kValid3D;
    return kGsa;
}

int32_t GpsReceiver::ParseGSV() {
    SplitFields();
    if (fieldCount_ < 3) return kNothing;
    if (!ParseInt(fields_[2], work_.satellitesInView)) return kNothing;
    if (work_.satellitesInView < 1 || fieldCount_ < 7) return kNothing;
    for (int32_t i = 3; i + 3 < fieldCount_ && work_.satelliteCount < GpsFix::kMaxSatellites;
         i += 4) {
        GpsSatellite& sat = work_.satellites[static_cast<size_t>(work_.satelliteCount)];
        int32_t prn = 0;
        if (!ParseInt(fields_[static_cast<size_t>(i)], prn)) continue;
        sat.prn = prn;
        if (!ParseReal(fields_[static_cast<size_t>(i + 1)], sat.elevation)) {
            sat.elevation = kGpsNotReported;
        }
        if (!ParseReal(fields_[static_cast<size_t>(i + 2)], sat.azimuth)) {
            sat.azimuth = kGpsNotReported;
        }
        if (!ParseReal(fields_[static_cast<size_t>(i + 3)], sat.snr)) sat.snr = kGpsNotReported;
        ++work_.satelliteCount;
    }
    return kNothing;
}

int32_t GpsReceiver::CommitSatellites() {
    if (work_.satelliteCount == 0) return kNothing;
    int32_t heard = 0;
    for (int32_t i = 0; i < work_.satelliteCount; ++i) {
        const GpsSatellite& sat = work_.satellites[static_cast<size_t>(i)];
        current_.satellites[static_cast<size_t>(i)] = sat;
        if (sat.snr > 0) ++heard;
    }
    current_.satellitesInView = heard;
    current_.satelliteCount = work_.satelliteCount;
    work_.satelliteCount = 0;
    return kSatellites;
}

int32_t GpsReceiver::ParseRMC() {
    SplitFields();
    if (fieldCount_ < 10) return kNothing;
    if (fields_[1] != "A") return kNothing;
    JulianTime time, date;
    double speed = 0.0, course = 0.0;
    if (!ParseTime(fields_[0], time) || !ParseDate(fields_[8], date) ||
        !ParseReal(fields_[6], speed) || !ParseReal(fields_[7], course)) {
        return kNothing;
    }
    current_.rmcDateTime = date + time;
    current_.speed = speed;
    current_.course = course;
    return kRmc;
}
