// Helpers of the protocol tests: lines built by hand (start character, hex pairs, CRC-16 low byte
// then high byte, from the hex and CRC helpers rather than the code under test), and a copy of a
// packed record field for the assertions.
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

// A packed record's field as a value: assertions take their arguments by reference, and a
// reference to a misaligned field is undefined behaviour.
template <typename T>
T Val(T value)
{
    return value;
}
