#include "framework/CvText.h"

namespace {
bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 0x20;
}
char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
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
