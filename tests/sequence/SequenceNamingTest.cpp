#include "sequence/SequenceNaming.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

namespace {

using seqnaming::sequenceFileName;

std::string nameAt(int32_t y, int32_t mo, int32_t d, int32_t h, int32_t mi, int32_t s) {
    return sequenceFileName(JulianTime::fromDateTime(y, mo, d, h, mi, s, 0));
}

TEST(SequenceNaming, NameFromStartTime) {
    EXPECT_EQ(nameAt(2011, 7, 1, 18, 45, 14), "L7011845.14#");
    EXPECT_EQ(sequenceFileName(JulianTime::fromDateTime(2011, 7, 1, 18, 45, 14, 999999)),
              "L7011845.14#");
    EXPECT_EQ(nameAt(1990, 1, 1, 0, 0, 0), "01010000.00#");
    EXPECT_EQ(nameAt(1999, 10, 31, 23, 59, 59), "9A312359.59#");
    EXPECT_EQ(nameAt(2000, 11, 5, 1, 2, 3), "AB050102.03#");
    EXPECT_EQ(nameAt(2025, 12, 9, 9, 9, 9), "ZC090909.09#");
    EXPECT_EQ(nameAt(2026, 12, 8, 13, 45, 0), "[C081345.00#");
}

TEST(SequenceNaming, YearsBeyondTheCodesStayLegalAndSorted) {
    // Every year a clock might show: names never hold a character that a file system used
    // for the sequence folder rejects or that folding to upper case would change, and a
    // later start never sorts before an earlier one.
    constexpr std::string_view kForbidden = "/\\:*?\"<>|. ";
    std::string previous;
    for (int32_t year = 1900; year <= 2200; ++year) {
        for (int32_t month : {1, 12}) {
            std::string name = nameAt(year, month, 28, 12, 0, 0);
            ASSERT_EQ(name.size(), 12u);
            for (size_t i = 0; i < name.size(); ++i) {
                const unsigned char c = static_cast<unsigned char>(name[i]);
                if (i == 8) continue;  // the '.' before the seconds
                ASSERT_TRUE(c > 0x20 && c < 0x7F) << year << " " << name;
                ASSERT_EQ(kForbidden.find(static_cast<char>(c)), std::string_view::npos)
                    << year << " " << name;
                ASSERT_FALSE(c >= 'a' && c <= 'z') << year << " " << name;
            }
            // Clamped years sort before (early) or after (late) every coded one.
            if (year < seqnaming::kFirstCodedYear) {
                ASSERT_LT(name, "0") << year;
            }
            if (year > seqnaming::kLastCodedYear) {
                ASSERT_GT(name, "~") << year;
            }
            if (year > seqnaming::kFirstCodedYear && year <= seqnaming::kLastCodedYear) {
                ASSERT_GT(name, previous) << year;
            }
            previous = name;
        }
    }
}

TEST(SequenceNaming, CodesOutsideTheCodedYears) {
    EXPECT_EQ(seqnaming::yearCode(2027), ']');
    EXPECT_EQ(seqnaming::yearCode(2033), '~');
    EXPECT_EQ(seqnaming::yearCode(2500), '~');
    EXPECT_EQ(seqnaming::yearCode(1989), '+');
    EXPECT_EQ(seqnaming::yearCode(-4000), '+');
    EXPECT_EQ(sequenceFileName(JulianTime(int64_t{0})), "+1010000.00#");
    EXPECT_EQ(sequenceFileName(JulianTime::invalid()), "+1010000.00#");
    EXPECT_EQ(seqnaming::monthCode(0), '1');
    EXPECT_EQ(seqnaming::monthCode(13), 'C');
}

}  // namespace
