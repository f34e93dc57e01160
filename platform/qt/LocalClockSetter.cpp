#include "platform/LocalClockSetter.h"

#include <time.h>
#include <unistd.h>

#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusInterface>
#include <QtDBus/QDBusReply>

namespace platform {

namespace {

// The UTC fields as microseconds since the epoch, or false when they name no time.
bool toEpochMicroseconds(const LocalClockReading& r, int64_t& usec) {
    tm utc{};
    utc.tm_year = r.year - 1900;
    utc.tm_mon = r.month - 1;
    utc.tm_mday = r.day;
    utc.tm_hour = r.hour;
    utc.tm_min = r.minute;
    utc.tm_sec = r.second;
    const time_t seconds = timegm(&utc);
    if (seconds == static_cast<time_t>(-1) && !(r.year == 1969 && r.month == 12)) return false;
    usec = static_cast<int64_t>(seconds) * 1000000 + r.microsecond;
    return true;
}

bool setThroughTimeService(int64_t usec, std::string& why) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        why = "no system bus";
        return false;
    }
    QDBusInterface timedate("org.freedesktop.timedate1", "/org/freedesktop/timedate1",
                            "org.freedesktop.timedate1", bus);
    if (!timedate.isValid()) {
        why = "no time service";
        return false;
    }
    // SetTime(usec_utc, relative, interactive): interactive lets policy ask the user.
    QDBusMessage reply =
        timedate.call("SetTime", QVariant::fromValue<qlonglong>(usec), false, true);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        why = reply.errorMessage().toStdString();
        return false;
    }
    return true;
}

}  // namespace

bool setUtcClock(const LocalClockReading& utc, std::string* error) {
    int64_t usec = 0;
    if (!toEpochMicroseconds(utc, usec)) {
        if (error) *error = "not a valid time";
        return false;
    }
    std::string why;
    if (setThroughTimeService(usec, why)) return true;
    if (geteuid() == 0) {
        timespec ts{};
        ts.tv_sec = static_cast<time_t>(usec / 1000000);
        ts.tv_nsec = static_cast<long>((usec % 1000000) * 1000);
        if (clock_settime(CLOCK_REALTIME, &ts) == 0) return true;
        why += "; clock_settime refused";
    }
    if (error) *error = why;
    return false;
}

}  // namespace platform
