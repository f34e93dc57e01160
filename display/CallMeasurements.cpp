#include "display/CallMeasurements.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "display/CallFilter.h"

namespace {

// Fewer dots than this give no slope worth the name.
constexpr int32_t kMinDots = 3;
// The characteristic part is sought in this final share of the call's duration, with a
// window of half that share.
constexpr double kFinalShare = 0.4;

// The filter judges dots by their intervals only, so a run it keeps can carry on into
// steady noise right after a call. Within a call neighbouring dots never differ by an
// octave, even on the steepest sweeps at the highest division ratio.
bool isJump(int32_t a, int32_t b) {
    return int64_t{a} > 2 * int64_t{b} || int64_t{b} > 2 * int64_t{a};
}

// Running sums over the dots of one call, in milliseconds from the call's start and octaves
// above its first dot, so that any stretch can be fitted with a line in constant time.
class LineSums {
  public:
    LineSums(std::span<const int32_t> times, std::span<const int32_t> frequency, int32_t first,
             int32_t last)
        : first_(first) {
        const size_t n = static_cast<size_t>(last - first + 1);
        x_.resize(n);
        y_.resize(n);
        sums_.assign(n + 1, {});
        const double y0 = std::log2(static_cast<double>(frequency[static_cast<size_t>(first)]));
        for (size_t k = 0; k < n; ++k) {
            const size_t i = static_cast<size_t>(first) + k;
            x_[k] = (times[i] - times[static_cast<size_t>(first)]) / 1000.0;
            y_[k] = std::log2(static_cast<double>(frequency[i])) - y0;
            Sums s = sums_[k];
            s.x += x_[k];
            s.y += y_[k];
            s.xx += x_[k] * x_[k];
            s.xy += x_[k] * y_[k];
            s.yy += y_[k] * y_[k];
            sums_[k + 1] = s;
        }
        y0_ = y0;
    }

    struct Fit {
        double slope = 0;      // octaves per millisecond
        double intercept = 0;  // octaves above the first dot at the call's start
        double sse = 0;
        double at(double x) const { return intercept + slope * x; }
    };

    // The least-squares line through dots a .. b (call-absolute indices, a <= b).
    Fit fit(int32_t a, int32_t b) const {
        const Sums& lo = sums_[static_cast<size_t>(a - first_)];
        const Sums& hi = sums_[static_cast<size_t>(b - first_ + 1)];
        const double n = b - a + 1;
        const double sx = hi.x - lo.x, sy = hi.y - lo.y;
        const double sxx = hi.xx - lo.xx - sx * sx / n;
        const double sxy = hi.xy - lo.xy - sx * sy / n;
        const double syy = hi.yy - lo.yy - sy * sy / n;
        Fit f;
        if (sxx > 0) f.slope = sxy / sxx;
        f.intercept = (sy - f.slope * sx) / n;
        f.sse = std::max(0.0, syy - f.slope * sxy);
        return f;
    }

    double x(int32_t i) const { return x_[static_cast<size_t>(i - first_)]; }
    double khz(double octaves) const { return std::exp2(y0_ + octaves) / 1e6; }

  private:
    struct Sums {
        double x = 0, y = 0, xx = 0, xy = 0, yy = 0;
    };
    int32_t first_;
    double y0_ = 0;
    std::vector<double> x_, y_;
    std::vector<Sums> sums_;
};

// Whether the central four fifths of the dots lie within kTailSpread of each other: the
// tail of a call holds its frequency, while a second bat's sweep or a cloud of reverberation
// after a call spans half an octave or more.
bool isSteady(std::vector<int32_t> frequency) {
    std::sort(frequency.begin(), frequency.end());
    const size_t n = frequency.size();
    return frequency[n * 9 / 10] <= CallMeasurements::kTailSpread * frequency[n / 10];
}

}  // namespace

std::vector<CallMeasurements::Call> CallMeasurements::Find(std::span<const int32_t> times,
                                                           std::span<const int32_t> frequency,
                                                           int32_t count, int32_t level,
                                                           int32_t fminMhz, int32_t fmaxMhz,
                                                           bool withEchoes, Detail detail) {
    count = std::clamp<int32_t>(count, 0,
                                static_cast<int32_t>(std::min(times.size(), frequency.size())));
    std::vector<int32_t> shown(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        const int32_t f = frequency[static_cast<size_t>(i)];
        shown[static_cast<size_t>(i)] = f > 0 && f >= fminMhz && f <= fmaxMhz;
    }
    CallFilter::Thin(times, count, level, shown);

    // Fragments are the runs of shown dots the filter leaves, each without an octave jump or
    // a gap in time.
    // In time order, each either continues the call being gathered (within kMergeGapUs of
    // its last dot), or is an echo of the latest call, or starts a call of its own.
    struct Span {
        int32_t first = 0, last = 0;  // dot indices
        std::vector<int32_t> times, frequency;
    };
    std::vector<Call> calls;
    std::optional<Call> latest;    // the latest call, to judge echoes by
    std::optional<Call> previous;  // the call before it, should the latest take in its tail
    Span latestDots;               // the latest call's dots and those of its echoes
    size_t latestAt = 0;           // where the latest call stands in `calls`
    int64_t trailEndUs = 0;        // the end of the latest call or of the last of its echoes
    Span open;
    auto at = [&](int32_t i) { return int64_t{times[static_cast<size_t>(i)]}; };
    auto measure = [&](const Span& s, Detail how) {
        Call c = Measure(s.times, s.frequency, 0, static_cast<int32_t>(s.times.size()) - 1, how);
        c.first = s.first;
        c.last = s.last;
        return c;
    };
    auto close = [&] {
        if (open.times.empty()) return;
        const auto dots = static_cast<int32_t>(open.times.size());
        if (dots >= kMinCallDots && int64_t{open.times.back()} - open.times.front() >= kMinCallUs) {
            Call c = measure(open, detail);
            if (latest && c.startUs - trailEndUs <= kTailGapUs && c.durationUs >= kMinTailUs &&
                c.fmeanKhz >= latest->fminKhz * (1 - kEchoRangeMargin) &&
                c.fmeanKhz <= latest->fmaxKhz * (1 + kEchoRangeMargin) && isSteady(open.frequency)) {
                // The rest of the latest call: it and its echoes become one call with this.
                calls.resize(latestAt);
                latestDots.last = open.last;
                latestDots.times.insert(latestDots.times.end(), open.times.begin(),
                                        open.times.end());
                latestDots.frequency.insert(latestDots.frequency.end(), open.frequency.begin(),
                                            open.frequency.end());
                open = std::move(latestDots);
                c = measure(open, detail);
                latest = previous;
            }
            if (latest) c.tbcUs = c.startUs - latest->startUs;
            latestAt = calls.size();
            calls.push_back(c);
            previous = latest;
            latest = c;
            trailEndUs = c.startUs + c.durationUs;
            latestDots = std::move(open);
        }
        open = Span{};
    };
    // A fragment is a stretch of neighbouring dots, measured where it lies.
    auto append = [&](Span& to, int32_t first, int32_t last) {
        to.times.insert(to.times.end(), times.begin() + first, times.begin() + last + 1);
        to.frequency.insert(to.frequency.end(), frequency.begin() + first,
                            frequency.begin() + last + 1);
    };
    for (int32_t i = 0; i < count;) {
        if (!shown[static_cast<size_t>(i)]) {
            ++i;
            continue;
        }
        const int32_t first = i;
        int32_t end = i;
        while (true) {
            if (end + 1 >= count || !shown[static_cast<size_t>(end + 1)] ||
                at(end + 1) - at(end) >= kMergeGapUs ||
                isJump(frequency[static_cast<size_t>(end)],
                       frequency[static_cast<size_t>(end + 1)])) {
                break;
            }
            ++end;
        }
        const int32_t last = end;
        i = end + 1;

        if (!open.times.empty() && at(first) - at(open.last) < kMergeGapUs &&
            !isJump(frequency[static_cast<size_t>(open.last)],
                    frequency[static_cast<size_t>(first)])) {
            open.last = last;
            append(open, first, last);
            continue;
        }
        close();
        if (latest && last - first + 1 >= kMinDots) {
            // Whether it is an echo takes its extent only.
            const Call c = Measure(times, frequency, first, last, Detail::kExtent);
            const bool echo = c.startUs - (latest->startUs + latest->durationUs) <=
                                  std::min(kEchoWindowUs, kEchoWindowCalls * latest->durationUs) &&
                              c.startUs - trailEndUs <= kEchoTrailGapUs &&
                              static_cast<double>(c.durationUs) <
                                  kEchoShare * static_cast<double>(latest->durationUs) &&
                              c.fminKhz >= latest->fminKhz * (1 - kEchoRangeMargin) &&
                              c.fmaxKhz <= latest->fmaxKhz * (1 + kEchoRangeMargin);
            if (echo) {
                trailEndUs = std::max(trailEndUs, c.startUs + c.durationUs);
                latestDots.last = last;
                append(latestDots, first, last);
                if (withEchoes) {
                    calls.push_back(detail == Detail::kExtent
                                        ? c
                                        : Measure(times, frequency, first, last, detail));
                    calls.back().echo = true;
                }
                continue;
            }
        }
        open.first = first;
        open.last = last;
        append(open, first, last);
    }
    close();
    return calls;
}

CallMeasurements::Call CallMeasurements::Measure(std::span<const int32_t> times,
                                                 std::span<const int32_t> frequency, int32_t first,
                                                 int32_t last, Detail detail) {
    Call c;
    c.first = first;
    c.last = last;
    c.dots = last - first + 1;
    c.startUs = times[static_cast<size_t>(first)];
    c.durationUs = int64_t{times[static_cast<size_t>(last)]} - c.startUs;
    double sum = 0;
    c.fminKhz = c.fmaxKhz = frequency[static_cast<size_t>(first)] / 1e6;
    for (int32_t i = first; i <= last; ++i) {
        const double khz = frequency[static_cast<size_t>(i)] / 1e6;
        c.fminKhz = std::min(c.fminKhz, khz);
        c.fmaxKhz = std::max(c.fmaxKhz, khz);
        sum += khz;
    }
    c.fmeanKhz = sum / c.dots;
    if (detail == Detail::kExtent) return c;

    const LineSums line(times, frequency, first, last);
    // The final share of the call, but never fewer dots than a line needs.
    int32_t regionStart = last;
    const double regionFrom = line.x(last) * (1.0 - kFinalShare);
    while (regionStart > first && line.x(regionStart - 1) >= regionFrom) --regionStart;
    regionStart = std::max(first, std::min(regionStart, last - (kMinDots - 1)));
    const int32_t regionDots = last - regionStart + 1;
    const int32_t window = std::min(regionDots, std::max(kMinDots, (regionDots + 1) / 2));

    // The flattest window; among equally flat ones the latest, so that a steady sweep is
    // characterised at its end.
    int32_t flatStart = regionStart;
    LineSums::Fit flat = line.fit(regionStart, regionStart + window - 1);
    for (int32_t s = regionStart + 1; s + window - 1 <= last; ++s) {
        const LineSums::Fit f = line.fit(s, s + window - 1);
        if (std::abs(f.slope) <= std::abs(flat.slope) * (1 + 1e-6) + 1e-9) {
            flat = f;
            flatStart = s;
        }
    }
    const int32_t flatEnd = flatStart + window - 1;
    c.fcharKhz = line.khz(flat.at(line.x(flatEnd)));
    c.slopeOctPerS = flat.slope * 1000.0;
    if (detail == Detail::kCharacteristic) return c;

    // The knee: the split of the call up to the flattest part into two lines (at least two
    // dots each) that fits best; the knee is where the two lines meet. A call without a bend
    // has its knee at its first dot.
    // Rounding in the running sums leaves a residue on lines that fit exactly.
    const double residue = 1e-10 * c.dots;
    int32_t knee = first;
    double best = line.fit(first, flatEnd).sse;
    for (int32_t k = first + 2; k <= flatStart && k < flatEnd; ++k) {
        const double sse = line.fit(first, k - 1).sse + line.fit(k, flatEnd).sse;
        if (sse < best - residue) {
            best = sse;
            knee = k;
        }
    }
    const LineSums::Fit tail = line.fit(knee, flatEnd);
    double kneeX = line.x(knee);
    if (knee > first) {
        const LineSums::Fit head = line.fit(first, knee - 1);
        if (head.slope != tail.slope) {
            const double meet = (tail.intercept - head.intercept) / (head.slope - tail.slope);
            kneeX = std::clamp(meet, line.x(knee - 1), line.x(knee));
        }
    }
    c.fkneeKhz = line.khz(tail.at(kneeX));
    return c;
}

double CallMeasurements::MedianFchar(const std::vector<Call>& calls) {
    if (calls.empty()) return 0;
    std::vector<double> f;
    f.reserve(calls.size());
    for (const Call& c : calls) f.push_back(c.fcharKhz);
    std::sort(f.begin(), f.end());
    const size_t mid = f.size() / 2;
    return f.size() % 2 ? f[mid] : (f[mid - 1] + f[mid]) / 2;
}
