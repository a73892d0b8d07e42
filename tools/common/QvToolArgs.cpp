#include "tools/common/QvToolArgs.h"

#include "framework/CvFormat.h"
#include "framework/CvFoundation.h"
#include "framework/CvText.h"

#include <charconv>
#include <cmath>

namespace {
const TQvToolOption* FindOption(const std::vector<TQvToolOption>& options, std::string_view name)
{
    for (const TQvToolOption& o : options)
        if (o.Name == name)
            return &o;
    return nullptr;
}

bool ParseDigits(std::string_view text, unsigned base, uint64_t max, uint64_t& value)
{
    if (text.empty())
        return false;
    uint64_t v = 0;
    for (char c : text) {
        uint8_t digit = 0;
        if (base == 16) {
            if (!TCvConvert::HexCharToNibble(c, digit))
                return false;
        } else {
            if (c < '0' || c > '9')
                return false;
            digit = static_cast<uint8_t>(c - '0');
        }
        if (v > (max - digit) / base)
            return false;
        v = v * base + digit;
    }
    value = v;
    return true;
}

bool HasHexPrefix(std::string_view text)
{
    return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}
} // namespace

bool TQvToolArgs::Split(const std::vector<std::string>& args, const std::vector<TQvToolOption>& options,
                        std::vector<TQvToolArg>& out, std::string& error)
{
    out.clear();
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            if (!optionsEnded && a.size() > 1 && a[0] == '-') {
                error = CvFormat("unknown option \"%s\"", a);
                return false;
            }
            out.push_back({"", a});
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t eq = a.find('=');
        const std::string name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const TQvToolOption* opt = FindOption(options, name);
        if (!opt) {
            error = CvFormat("unknown option \"--%s\"", name);
            return false;
        }
        if (!opt->TakesValue) {
            if (eq != std::string::npos) {
                error = CvFormat("option \"--%s\" takes no value", name);
                return false;
            }
            out.push_back({name, ""});
            continue;
        }
        if (eq != std::string::npos) {
            out.push_back({name, a.substr(eq + 1)});
        } else if (i + 1 < args.size()) {
            out.push_back({name, args[++i]});
        } else {
            error = CvFormat("option \"--%s\" needs a value", name);
            return false;
        }
    }
    return true;
}

std::string TQvToolArgs::Usage(const std::vector<TQvToolOption>& options)
{
    std::string text;
    for (const TQvToolOption& o : options) {
        std::string left = "--" + o.Name;
        std::string help = o.Help;
        if (o.TakesValue) {
            const size_t colon = help.find(": ");
            if (colon != std::string::npos) {
                left.append(" ").append(help, 0, colon);
                help = help.substr(colon + 2);
            } else {
                left += " VALUE";
            }
        }
        text += CvFormat("  %-28s %s\n", left, help);
    }
    return text;
}

bool TQvToolArgs::ParseUInt(std::string_view text, uint64_t max, uint64_t& value)
{
    if (HasHexPrefix(text))
        return ParseDigits(text.substr(2), 16, max, value);
    return ParseDigits(text, 10, max, value);
}

bool TQvToolArgs::ParseInt(std::string_view text, int64_t min, int64_t max, int64_t& value)
{
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    uint64_t magnitude = 0;
    if (!ParseUInt(text, static_cast<uint64_t>(INT64_MAX), magnitude))
        return false;
    const int64_t v = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    if (v < min || v > max)
        return false;
    value = v;
    return true;
}

bool TQvToolArgs::ParseHex(std::string_view text, uint64_t max, uint64_t& value)
{
    if (HasHexPrefix(text))
        text.remove_prefix(2);
    return ParseDigits(text, 16, max, value);
}

bool TQvToolArgs::ParseBool(std::string_view text, bool& value)
{
    static const std::vector<std::string> yes{"1", "true", "yes", "on"};
    static const std::vector<std::string> no{"0", "false", "no", "off"};
    if (CvIndexText(text, yes) >= 0) {
        value = true;
        return true;
    }
    if (CvIndexText(text, no) >= 0) {
        value = false;
        return true;
    }
    return false;
}

bool TQvToolArgs::ParseFloat(std::string_view text, float& value)
{
    if (!text.empty() && text[0] == '+')
        text.remove_prefix(1);
    float v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

std::vector<std::string> TQvToolArgs::SplitText(std::string_view text, char sep)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t pos = text.find(sep, start);
        parts.push_back(CvTrim(text.substr(start, pos == std::string_view::npos ? std::string_view::npos : pos - start)));
        if (pos == std::string_view::npos)
            break;
        start = pos + 1;
    }
    return parts;
}
