// Line framing of the beacon protocol as the simulated beacon sees it: a request line is "#",
// the message bytes as hex pairs, the CRC-16 (low byte first) and CR LF; replies start with "$".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum EQvSimLineStatus : uint8_t {
    SIMLINE_OK,
    SIMLINE_BAD_CHAR,     // a character other than a hex digit inside the line
    SIMLINE_ODD_DIGITS,   // an unpaired hex digit
    SIMLINE_TOO_SHORT,    // fewer than 3 bytes (identifier and checksum)
    SIMLINE_TOO_LONG,     // more hex digits than the beacon buffers
    SIMLINE_BAD_CHECKSUM,
};

struct TQvSimLineResult {
    EQvSimLineStatus Status = SIMLINE_OK;
    std::vector<uint8_t> Bytes; // message bytes without the checksum (valid lines only)
    std::string Text;           // the line as received, without CR/LF (truncated when too long)
};

class TQvSimLine {
public:
    TQvSimLine() = delete;

    // The whole line: `start`, hex pairs, CRC-16 low byte then high byte, CR LF. With
    // `corrupt` the checksum is deliberately wrong.
    static std::string Encode(char start, const std::vector<uint8_t>& bytes, bool corrupt = false);
    static const char* StatusText(EQvSimLineStatus status);
};

// Builds request lines from received characters: "#" starts a line (dropping an unfinished
// one), CR or LF ends it, everything outside a line is ignored.
class TQvSimLineReader {
public:
    // Room for the largest block (65535 data bytes) with its header and checksum.
    static constexpr size_t MaxHexDigits = 2 * (3 + 65535 + 2);

    explicit TQvSimLineReader(char start = '#') : fStart(start) {}

    // Feeds one character; true when it completed a line, whose outcome is in `result`.
    bool Feed(uint8_t c, TQvSimLineResult& result);
    // Drops any unfinished line.
    void Reset();
    bool InLine() const { return fInLine; }

private:
    char fStart;
    bool fInLine = false;
    bool fBadChar = false;
    bool fTooLong = false;
    std::string fText;
};
