#pragma once
#include <optional>
#include <string>

// The program's own version record and the About box's texts made from it.
struct VersionResource {
    std::optional<std::string> productName;
    std::optional<std::string> comments;
    std::optional<std::string> legalCopyright;
    std::optional<std::string> companyName;
    std::optional<std::string> fileVersion;  // "a,b,c,d"
    // The version as the project states it ("0.1.0"). When present it is the version line
    // as it stands: the four-number form drops a leading 0 and adds a release letter.
    std::optional<std::string> version;
    std::optional<std::string> productVersion;  // "a,b,c,d": year a*100+b, month c, day d
};

struct AboutText {
    std::string title;     // "About " + product name
    std::string comments;  // comments + three spaces
    std::string copyright;
    std::string company;
    std::string version;  // version line with the release date appended
    std::string release;  // "(release)"
    std::string built;    // "Built " + the build time stamp
};

class AboutInfo {
  public:
    // `resource` null: the program has no version record at all.
    static AboutText Make(const VersionResource* resource, const std::string& buildStamp);
    static std::string VersionLine(const std::optional<std::string>& fileVersion);
    static std::string DateText(const std::optional<std::string>& productVersion);
    // "Fri Jul  1 18:45:14 2011" from the compiler's "Jul  1 2011" and "18:45:14".
    static std::string BuildStamp(const char* compileDate, const char* compileTime);
    // This build's record (version from the project, date from the release-date file).
    static VersionResource ThisProgram();
    static std::string ThisBuildStamp();
};
