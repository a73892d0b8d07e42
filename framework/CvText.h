// Text helpers: trimming of control characters and blanks, ASCII-only case changes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Removes characters with codes 0x20 and below from both ends.
std::string CvTrim(std::string_view text);
std::string CvTrimLeft(std::string_view text);
std::string CvTrimRight(std::string_view text);
// Changes only the letters A-Z / a-z; every other byte (UTF-8 included) stays.
std::string CvUpperCase(std::string_view text);
std::string CvLowerCase(std::string_view text);
// Equal ignoring ASCII case.
bool CvSameText(std::string_view a, std::string_view b);
// Index of `text` in `list` ignoring ASCII case, or -1.
int CvIndexText(std::string_view text, const std::vector<std::string>& list);
// Text to a 32-bit integer: decimal, or hexadecimal after "0x", "0X" or "$" (up to eight digits,
// "$FFFFFFFF" being -1), with an optional sign; blanks at both ends are ignored. False (value
// untouched) for anything else, including numbers out of range.
bool CvTryStrToInt(std::string_view text, int32_t& value);
int32_t CvStrToIntDef(std::string_view text, int32_t def);
// The number n of a name written as `prefix` + "(n)" ("RecentFile(3)", "Application\Window(0)"):
// the prefix matched ignoring ASCII case, n in plain decimal without leading zeros and within
// 32 bits. False for any other name.
bool CvIndexedName(std::string_view name, std::string_view prefix, uint32_t& index);
