#include <gtest/gtest.h>

#include "app/AboutInfo.h"

namespace {

TEST(AboutInfo, VersionLines) {
    EXPECT_EQ(AboutInfo::VersionLine("0,3,0,11"), "Version 3.0k  ");
    EXPECT_EQ(AboutInfo::VersionLine("1,2,3,1"), "Version 1.2.3a  ");
    EXPECT_EQ(AboutInfo::VersionLine("1,2,3"), "Invalid Version! ");
    EXPECT_EQ(AboutInfo::VersionLine("1,2,3,4,5"), "Invalid Version! ");
    EXPECT_EQ(AboutInfo::VersionLine(std::nullopt), "Unknown Version! ");
}

TEST(AboutInfo, ReleaseDates) {
    EXPECT_EQ(AboutInfo::DateText("20,13,3,2"), "2 Mar 2013");
    EXPECT_EQ(AboutInfo::DateText("20,13,x,2"), "Invalid Date! ");
    EXPECT_EQ(AboutInfo::DateText(std::nullopt), "Unknown Date! ");
}

TEST(AboutInfo, TextsOfTheBox) {
    VersionResource r;
    r.productName = "Zelkora";
    r.comments = "Bat calls";
    r.fileVersion = "1,2,3,1";
    r.productVersion = "20,13,3,2";
    const AboutText a = AboutInfo::Make(&r, "Fri Jul  1 18:45:14 2011");
    EXPECT_EQ(a.title, "About Zelkora");
    EXPECT_EQ(a.comments, "Bat calls   ");
    EXPECT_EQ(a.copyright, "");
    EXPECT_EQ(a.version, "Version 1.2.3a  2 Mar 2013");
    EXPECT_EQ(a.release, "(release)");
    EXPECT_EQ(a.built, "Built Fri Jul  1 18:45:14 2011");
    const AboutText none = AboutInfo::Make(nullptr, "x");
    EXPECT_EQ(none.version, "Version unknown");
    EXPECT_EQ(none.copyright, "");
}

TEST(AboutInfo, BuildStampAndThisProgram) {
    EXPECT_EQ(AboutInfo::BuildStamp("Jul  1 2011", "18:45:14"), "Fri Jul  1 18:45:14 2011");
    EXPECT_EQ(AboutInfo::BuildStamp("Dec 25 2026", "00:00:01"), "Fri Dec 25 00:00:01 2026");
    const VersionResource self = AboutInfo::ThisProgram();
    ASSERT_TRUE(self.fileVersion && self.productVersion);
    EXPECT_EQ(AboutInfo::VersionLine(self.fileVersion).rfind("Version ", 0), 0u);
    EXPECT_EQ(AboutInfo::DateText(self.productVersion).find('!'), std::string::npos);
}

// The box shows the project's version as it stands, not the four-number form's reading of
// it (0,1,0,1 reads "1.0a").
TEST(AboutInfo, VersionLineIsTheProjectVersion) {
    const VersionResource self = AboutInfo::ThisProgram();
    const AboutText box = AboutInfo::Make(&self, "");
    EXPECT_EQ(box.version.rfind(std::string("Version ") + ZELKORA_PROJECT_VERSION + "  ", 0), 0u)
        << box.version;
    VersionResource other = self;
    other.version = "2.10.3";
    EXPECT_EQ(AboutInfo::Make(&other, "").version.rfind("Version 2.10.3  ", 0), 0u);
    // Without it, the four-number form as before.
    other.version.reset();
    other.fileVersion = "0,3,0,11";
    EXPECT_EQ(AboutInfo::Make(&other, "").version.rfind("Version 3.0k  ", 0), 0u);
}

}  // namespace
