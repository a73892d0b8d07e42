#include "framework/CvText.h"

#include <cstdint>

namespace {
bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 0x20;
}
char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
} // namespace

std::string CvTrimLeft(std::string_view text)
{
    size_t b = 0;
    while (b < text.size() && IsBlank(text[b]))
        ++b;
    return std::string(text.substr(b));
}

std::string CvTrimRight(std::string_view text)
{
    size_t e = text.size();
    while (e > 0 && IsBlank(text[e - 1]))
        --e;
    return std::string(text.substr(0, e));
}

std::string CvTrim(std::string_view text)
{
    size_t b = 0;
    size_t e = text.size();
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
    return std::string(text.substr(b, e - b));
}

std::string CvUpperCase(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = Upper(c);
    return out;
}

std::string CvLowerCase(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = Lower(c);
    return out;
}

bool CvSameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

int CvIndexText(std::string_view text, const std::vector<std::string>& list)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (CvSameText(text, list[i]))
            return static_cast<int>(i);
    return -1;
}

bool CvTryStrToInt(std::string_view text, int32_t& value)
{
    const std::string t = CvTrim(text);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    bool hex = false;
    if (i < t.size() && t[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= t.size())
        return false;
    uint64_t v = 0;
    for (; i < t.size(); ++i) {
        const int digit = hex ? HexDigit(t[i]) : (t[i] >= '0' && t[i] <= '9' ? t[i] - '0' : -1);
        if (digit < 0)
            return false;
        v = v * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (v > 0xFFFFFFFFull)
            return false;
    }
    if (hex) {
        // Up to eight hex digits give the 32-bit pattern ("$FFFFFFFF" is -1).
        const uint32_t bits = static_cast<uint32_t>(v);
        value = static_cast<int32_t>(negative ? 0u - bits : bits);
        return true;
    }
    if (negative ? v > 2147483648ull : v > 2147483647ull)
        return false;
    value = static_cast<int32_t>(negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v));
    return true;
}

int32_t CvStrToIntDef(std::string_view text, int32_t def)
{
    int32_t value = def;
    return CvTryStrToInt(text, value) ? value : def;
}

bool CvIndexedName(std::string_view name, std::string_view prefix, uint32_t& index)
{
    if (name.size() < prefix.size() + 3 || !CvSameText(name.substr(0, prefix.size()), prefix)
        || name[prefix.size()] != '(' || name.back() != ')')
        return false;
    const std::string_view digits = name.substr(prefix.size() + 1, name.size() - prefix.size() - 2);
    if (digits.size() > 10 || (digits.size() > 1 && digits[0] == '0'))
        return false;
    uint64_t v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > 0xFFFFFFFFull)
        return false;
    index = static_cast<uint32_t>(v);
    return true;
}
