// Hex conversion and CRC routines shared by the protocol, the package reader and the tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TCvConvert {
public:
    TCvConvert() = delete;

    // "0123456789ABCDEF"[n and 15].
    static char NibbleToHexChar(uint8_t n);
    // Hex digit in either case to its value; false (nibble untouched) for any other character.
    static bool HexCharToNibble(char c, uint8_t& nibble);
    static bool HexCharToNibble(char16_t c, uint8_t& nibble);
    // Upper-case hex, zero-filled to at least `digits` digits.
    static std::string IntToHex(uint64_t value, int digits);
    // Plain hex text (no prefix, sign or blanks) to int32; `def` when empty, bad or wider than 32 bits.
    static int32_t HexToIntDef(std::string_view text, int32_t def);
    static std::string BytesToHex(const std::vector<uint8_t>& bytes);
    static std::string BytesToHex(const uint8_t* data, size_t count);
    // Odd length gets a leading "0"; stops at the first bad digit, returning false with the
    // bytes converted so far in place and the rest zero.
    static bool HexToBytes(std::string_view text, std::vector<uint8_t>& bytes);
};

class TCvCrc {
public:
    TCvCrc() = delete;

    // One reflected CRC step over the 8 bits of `value`.
    static uint16_t CalcValue(uint8_t value, uint16_t polynomial, uint16_t crc);
    // CRC-16/ARC (polynomial 0xA001, start 0) over a buffer, continuing from `crc`.
    static uint16_t Crc16(const uint8_t* data, size_t count, uint16_t crc = 0);
    static uint16_t Crc16(const std::vector<uint8_t>& bytes) { return Crc16(bytes.data(), bytes.size()); }
    // CRC-32 of zlib (reflected 0xEDB88320, start and final inversion), continuing from `crc`.
    static uint32_t Crc32(const uint8_t* data, size_t count, uint32_t crc = 0);
    static uint32_t Crc32(const std::vector<uint8_t>& bytes) { return Crc32(bytes.data(), bytes.size()); }
};
