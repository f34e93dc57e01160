#include "app/AboutInfo.h"

#include <cstdio>
#include <cstring>

#include "app/VersionResource.h"
#include "sequence/JulianTime.h"

namespace {

bool splitFour(const std::string& text, int (&v)[4]) {
    char extra = 0;
    return std::sscanf(text.c_str(), "%d,%d,%d,%d%c", &v[0], &v[1], &v[2], &v[3], &extra) == 4;
}

}  // namespace

std::string AboutInfo::VersionLine(const std::optional<std::string>& fileVersion) {
    if (!fileVersion) return "Unknown Version! ";
    int v[4];
    if (!splitFour(*fileVersion, v)) return "Invalid Version! ";
    char text[64];
    const char letter = static_cast<char>(v[3] + 96);
    if (v[0] != 0) {
        std::snprintf(text, sizeof text, "Version %d.%d.%d%c  ", v[0], v[1], v[2], letter);
    } else {
        std::snprintf(text, sizeof text, "Version %d.%d%c  ", v[1], v[2], letter);
    }
    return text;
}

std::string AboutInfo::DateText(const std::optional<std::string>& productVersion) {
    if (!productVersion) return "Unknown Date! ";
    int v[4];
    if (!splitFour(*productVersion, v)) return "Invalid Date! ";
    const JulianTime date = JulianTime::fromDate(v[0] * 100 + v[1], v[2], v[3]);
    if (!date.isValid()) return "Invalid Date! ";
    return date.format("D MMM YYYY");
}

AboutText AboutInfo::Make(const VersionResource* r, const std::string& buildStamp) {
    AboutText a;
    a.release = "(release)";
    a.built = "Built " + buildStamp;
    if (r == nullptr) {
        a.title = "About ";
        a.version = "Version unknown";
        return a;
    }
    a.title = "About " + r->productName.value_or("");
    a.comments = r->comments.value_or("") + "   ";
    a.copyright = r->legalCopyright.value_or("");
    a.company = r->companyName.value_or("");
    a.version = (r->version ? "Version " + *r->version + "  " : VersionLine(r->fileVersion)) +
                DateText(r->productVersion);
    return a;
}

std::string AboutInfo::BuildStamp(const char* compileDate, const char* compileTime) {
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    char month[4] = "";
    int day = 0, year = 0;
    if (std::sscanf(compileDate, "%3s %d %d", month, &day, &year) != 3) return compileDate;
    int m = 0;
    while (m < 12 && std::strcmp(kMonths[m], month) != 0) ++m;
    if (m == 12) return compileDate;
    // Day of the week by Sakamoto's method.
    static const int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    const int y = m < 2 ? year - 1 : year;
    const int weekday = (y + y / 4 - y / 100 + y / 400 + kOffsets[m] + day) % 7;
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %2d %s %d", kDays[weekday], kMonths[m], day,
                  compileTime, year);
    return text;
}

VersionResource AboutInfo::ThisProgram() {
    VersionResource r;
    r.productName = "Zelkora";
    r.comments = "Bat call recorder and viewer";
    r.legalCopyright = "Copyright (C) 2026 Chirova";
    r.companyName = "Chirova";
    r.fileVersion = ZELKORA_FILE_VERSION;
    r.version = ZELKORA_VERSION;
    r.productVersion = ZELKORA_PRODUCT_VERSION;
    return r;
}

std::string AboutInfo::ThisBuildStamp() {
    return BuildStamp(__DATE__, __TIME__);
}
