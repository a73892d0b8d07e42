#include "protocol/QvConfigText.h"

#include "framework/CvFoundation.h"
#include "framework/CvText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

bool TQvConfigText::TextToInt(std::string_view text, int64_t& value)
{
    int32_t v = 0;
    if (CvTryStrToInt(text, v)) {
        value = v;
        return true;
    }
    // Unsigned 32-bit numbers are written in decimal too (serial numbers); read them back.
    const std::string t = CvTrim(text);
    uint32_t u = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), u, 10);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size())
        return false;
    value = u;
    return true;
}

int64_t TQvConfigText::TextToIntDef(std::string_view text, int64_t def)
{
    int64_t v = 0;
    return TextToInt(text, v) ? v : def;
}

bool TQvConfigText::TextToReal(std::string_view text, double& value)
{
    std::string t(text);
    for (char& c : t)
        if (c == ',')
            c = '.';
    std::string_view s(t);
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    // from_chars would also take "inf", "nan" and a second sign; none of them is a number here.
    if (s.empty() || !(std::isdigit(static_cast<unsigned char>(s[0])) || s[0] == '.'))
        return false;
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
        return false;
    value = negative ? -v : v;
    return true;
}

std::string TQvConfigText::RealToText(double value)
{
    if (value == 0 || !std::isfinite(value))
        return "0";
    // 15 significant digits, rounded: "d.dddddddddddddde-xx".
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::scientific, 14);
    std::string sci(buf, res.ptr);
    std::string sign;
    if (sci[0] == '-') {
        sign = "-";
        sci.erase(0, 1);
    }
    const size_t ePos = sci.find('e');
    const int exponent = std::atoi(sci.c_str() + ePos + 1);
    std::string digits = sci.substr(0, 1) + sci.substr(2, ePos - 2);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    if (exponent >= -5 && exponent < 15) {
        std::string out;
        if (exponent >= 0) {
            const size_t intLen = static_cast<size_t>(exponent) + 1;
            if (digits.size() <= intLen)
                out = digits + std::string(intLen - digits.size(), '0');
            else
                out = digits.substr(0, intLen) + "." + digits.substr(intLen);
        } else {
            out = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
        }
        return sign + out;
    }
    std::string mantissa = digits.substr(0, 1);
    if (digits.size() > 1)
        mantissa += "." + digits.substr(1);
    return sign + mantissa + "E" + std::to_string(exponent);
}

uint16_t TQvConfigText::PartNumberFromText(std::string_view text)
{
    const std::string t = CvTrim(text).substr(0, 5);
    const int64_t v = TextToIntDef(t, 0);
    return static_cast<uint16_t>((v < 0 || v > 50000) ? 50000 : v);
}

uint8_t TQvConfigText::RevisionFromText(std::string_view text)
{
    const int64_t v = TextToIntDef(CvTrim(text), 0);
    return static_cast<uint8_t>((v < 0 || v > 250) ? 250 : v);
}

uint32_t TQvConfigText::SerialNumberFromText(std::string_view text)
{
    const int64_t v = TextToIntDef(CvTrim(text), 0);
    return static_cast<uint32_t>((v < 0 || v > 999999) ? 999999 : v);
}

uint16_t TQvConfigText::FlagsFromText(std::string_view text)
{
    const std::string t = CvTrim(text);
    std::string hex;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '0' && i + 1 < t.size() && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
            ++i;
            continue;
        }
        if (t[i] != ' ')
            hex += t[i];
    }
    return static_cast<uint16_t>(TCvConvert::HexToIntDef(hex, 0) & 0xFFFF);
}

float TQvConfigText::BaselineFromText(std::string_view text)
{
    double v = 0;
    if (!TextToReal(CvTrim(text), v))
        v = 0;
    // Limit before narrowing too, so a huge typed value never overflows the conversion.
    v = v < -10.0 ? -10.0 : (v > 10.0 ? 10.0 : v);
    float f = static_cast<float>(v);
    if (!(f > -10.0f))
        f = -10.0f;
    if (f >= 10.0f)
        f = 10.0f;
    return f;
}
