// Lines built by hand for the protocol tests: start character, hex pairs, CRC-16 low byte then
// high byte, computed with the hex and CRC helpers rather than the code under test.
#pragma once

#include "framework/CvFoundation.h"

#include <cstdint>
#include <string>
#include <vector>

inline std::string HandLine(char start, const std::vector<uint8_t>& bytes)
{
    const uint16_t crc = TCvCrc::Crc16(bytes);
    return start + TCvConvert::BytesToHex(bytes) + TCvConvert::IntToHex(crc & 0xFF, 2) + TCvConvert::IntToHex(crc >> 8, 2);
}

// What the host sends: "#" ... CR LF.
inline std::string TxLine(const std::vector<uint8_t>& bytes)
{
    return HandLine('#', bytes) + "\r\n";
}

// What the beacon sends, without its end.
inline std::string RxLine(const std::vector<uint8_t>& bytes)
{
    return HandLine('$', bytes);
}
