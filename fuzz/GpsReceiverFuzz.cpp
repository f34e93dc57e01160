// Any bytes from the GPS port: the receiver must never crash, and a fix it accepts must stay
// on this planet whatever the checksums say.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "gps/GpsReceiver.h"

namespace {

void checkRange(double value, double limit) {
    if (value == kGpsNotReported) return;
    if (!std::isfinite(value) || std::fabs(value) > limit) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    GpsReceiver receiver;
    // A fixed clock keeps runs repeatable and out of the system's time calls.
    receiver.setClock([] { return JulianTime{}; });
    receiver.setUtcClock([] { return JulianTime{}; });
    for (size_t i = 0; i < size; ++i) receiver.AddChar(data[i]);
    receiver.EndOfInput();

    const GpsFix& fix = receiver.current();
    checkRange(fix.latitude, GpsReceiver::kMaxLatitude);
    checkRange(fix.longitude, GpsReceiver::kMaxLongitude);
    if (fix.satelliteCount < 0 || fix.satelliteCount > GpsFix::kMaxSatellites) std::abort();
    return 0;
}
