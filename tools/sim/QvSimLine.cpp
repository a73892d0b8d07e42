#include "tools/sim/QvSimLine.h"

#include "framework/CvFoundation.h"

std::string TQvSimLine::Encode(char start, const std::vector<uint8_t>& bytes, bool corrupt)
{
    uint16_t crc = TCvCrc::Crc16(bytes);
    if (corrupt)
        crc ^= 0x5AA5;
    const uint8_t tail[2] = {static_cast<uint8_t>(crc & 0xFF), static_cast<uint8_t>(crc >> 8)};
    std::string line(1, start);
    line += TCvConvert::BytesToHex(bytes);
    line += TCvConvert::BytesToHex(tail, 2);
    line += "\r\n";
    return line;
}

const char* TQvSimLine::StatusText(EQvSimLineStatus status)
{
    switch (status) {
    case SIMLINE_OK: return "ok";
    case SIMLINE_BAD_CHAR: return "bad character";
    case SIMLINE_ODD_DIGITS: return "odd number of hex digits";
    case SIMLINE_TOO_SHORT: return "too short";
    case SIMLINE_TOO_LONG: return "too long";
    case SIMLINE_BAD_CHECKSUM: return "bad checksum";
    }
    return "unknown";
}

void TQvSimLineReader::Reset()
{
    fInLine = false;
    fBadChar = false;
    fTooLong = false;
    fText.clear();
}

bool TQvSimLineReader::Feed(uint8_t c, TQvSimLineResult& result)
{
    if (c == static_cast<uint8_t>(fStart)) {
        Reset();
        fInLine = true;
        fText.push_back(fStart);
        return false;
    }
    if (!fInLine)
        return false;
    if (c != '\r' && c != '\n') {
        uint8_t nibble = 0;
        if (!TCvConvert::HexCharToNibble(static_cast<char>(c), nibble))
            fBadChar = true;
        if (fText.size() > MaxHexDigits)
            fTooLong = true;
        else
            fText.push_back(static_cast<char>(c));
        return false;
    }

    // End of the line.
    result = TQvSimLineResult();
    result.Text = fText;
    const std::string_view digits = std::string_view(fText).substr(1);
    if (fBadChar)
        result.Status = SIMLINE_BAD_CHAR;
    else if (fTooLong)
        result.Status = SIMLINE_TOO_LONG;
    else if (digits.size() % 2 != 0)
        result.Status = SIMLINE_ODD_DIGITS;
    else if (digits.size() < 6)
        result.Status = SIMLINE_TOO_SHORT;
    else {
        std::vector<uint8_t> bytes;
        TCvConvert::HexToBytes(digits, bytes);
        const uint16_t rx = static_cast<uint16_t>(bytes[bytes.size() - 2] | (bytes[bytes.size() - 1] << 8));
        bytes.resize(bytes.size() - 2);
        if (TCvCrc::Crc16(bytes) != rx)
            result.Status = SIMLINE_BAD_CHECKSUM;
        else
            result.Bytes = std::move(bytes);
    }
    Reset();
    return true;
}
