// Command-line handling shared by the tools: splitting the arguments against a table of known
// options, and strict number, Boolean and real-number parsing with clear error texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TQvToolOption {
    std::string Name;   // without the leading "--"
    bool TakesValue = false;
    std::string Help;   // one line for the usage text; "ARG: text" names the value
};

struct TQvToolArg {
    std::string Name;   // empty for a positional argument
    std::string Value;
};

class TQvToolArgs {
public:
    TQvToolArgs() = delete;

    // Splits "--name value", "--name=value" and positional arguments (a lone "--" ends the
    // options). Unknown options, a missing value or a value given to a flag fail with `error`.
    static bool Split(const std::vector<std::string>& args, const std::vector<TQvToolOption>& options,
                      std::vector<TQvToolArg>& out, std::string& error);
    // "  --name ARG   help" lines for a usage text.
    static std::string Usage(const std::vector<TQvToolOption>& options);

    // Unsigned decimal, or hexadecimal after "0x"/"0X"; no sign, no blanks; at most `max`.
    static bool ParseUInt(std::string_view text, uint64_t max, uint64_t& value);
    // Signed decimal (or "0x" hexadecimal) within [min, max].
    static bool ParseInt(std::string_view text, int64_t min, int64_t max, int64_t& value);
    // Hexadecimal digits with an optional "0x" prefix; at most `max`.
    static bool ParseHex(std::string_view text, uint64_t max, uint64_t& value);
    // 1/0, true/false, yes/no, on/off in any case.
    static bool ParseBool(std::string_view text, bool& value);
    // A finite real number with "." as the decimal separator, independent of the locale.
    static bool ParseFloat(std::string_view text, float& value);
    // Splits at `sep`, trimming every piece.
    static std::vector<std::string> SplitText(std::string_view text, char sep);
};
