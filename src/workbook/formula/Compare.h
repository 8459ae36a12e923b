#pragma once

#include "workbook/sheet/Value.h"

#include <string_view>

namespace markwell::formula {

// Two numbers are equal when they agree to about 15 significant digits: they are the same, or
// they have the same sign and differ by less than 2^-48 of either magnitude, unless both are whole
// numbers (below 2^53), which must match exactly. Zero equals only zero. So 0.1+0.2 equals 0.3,
// and an average computed as 0.9299999999999999 equals the bound 0.93.
bool approxEqual(double a, double b);

// a + b, but exactly 0 when the two cancel to within approxEqual (0.1+0.2-0.3 is 0).
double approxAdd(double a, double b);
// a - b, but exactly 0 when the two are equal to within approxEqual.
double approxSub(double a, double b);

// The value rounded to 15 significant digits, for values whose fraction needs more than 11 bits
// and whose magnitude is at most 2^41; others come back unchanged.
double approxValue(double value);

// Texts equal for = and <>: the same characters once each is upper-cased on its own (so "é"
// equals "É" and "Über" equals "über", but "ß" does not equal "SS").
bool textEqualIgnoringCase(std::string_view a, std::string_view b);

// Whether a lookup key holds a wildcard or its escape (*, ? or ~).
bool hasWildcards(std::string_view pattern);

// Whether a text matches a pattern as exact-match lookups take it: * stands for any run of
// characters, ? for any one character, and ~ makes the *, ? or ~ after it stand for itself (before
// anything else, it stands for itself). Letters match ignoring case by their simple case folding:
// "Σ" matches "ς", but unlike for =, "I" does not match "ı".
bool wildcardMatch(std::string_view pattern, std::string_view text);

// Orders texts the way < and > do: by Unicode collation (the root order of the Unicode
// Collation Algorithm, which spreadsheet programs use), ignoring case but not accents.
// Punctuation and spaces sort before digits and digits before letters, so "_" < "a".
// Negative, zero or positive.
int collateText(std::string_view a, std::string_view b);

// Orders two values as the comparison operators do: numbers before texts before booleans, an
// empty value taking the type of the other side (0, "" or FALSE); numbers by approxEqual, texts by
// collateText. Negative, zero or positive. Errors are not compared (the caller propagates them).
int compareValues(const sheet::Value& a, const sheet::Value& b);

// Whether = holds between two values: compareValues, except that texts compare with
// textEqualIgnoringCase.
bool equalValues(const sheet::Value& a, const sheet::Value& b);

} // namespace markwell::formula
