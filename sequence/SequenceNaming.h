#pragma once
#include <cstdint>
#include <string>

#include "sequence/JulianTime.h"

// Sequence files are named from their start time as YMDDHHMM.SS# so that sorting the names
// orders the files by start time. Y is the year code, M the month code ('1'..'9', 'A'..'C').
//
// Year codes: '0'..'9' for 1990..1999, 'A'..'Z' for 2000..2025, then '[' for 2026. Carried on
// by the same arithmetic the next year would be '\', which no FAT-formatted card accepts, and
// later ones lower-case letters, which the folder list sorts with case folded (so 2032 would
// sort as 2000), so the codes go on through the remaining characters that every file system
// takes and that sort after '[':
// ']' '^' '_' '`' '{' '}' '~' for 2027..2033. Years after that share '~', years before 1990
// (a clock that was never set) share '+': such names stay legal and sort after, or before,
// every year that has a code, though among themselves only by month, day and time.
namespace seqnaming {

constexpr int32_t kFirstCodedYear = 1990;
constexpr int32_t kLastCodedYear = 2033;

char yearCode(int32_t year);
char monthCode(int32_t month);  // months outside 1..12 are clamped into it

// The file name for a start time, e.g. "L7011845.14#" for 2011-07-01 18:45:14. A value
// without a calendar date is named as the epoch would be.
std::string sequenceFileName(JulianTime start);

}  // namespace seqnaming
