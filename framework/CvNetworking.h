// EUI-48 hardware address held in the low 48 bits of a 64-bit value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#pragma pack(push, 1)
struct TCvMacAddress {
    uint64_t fValue = 0;

    // Bytes 5..0 of the value as "AA-BB-CC-DD-EE-FF".
    static std::string ToAddress(uint64_t value);
    std::string AddressText() const { return ToAddress(fValue); }
    // Sets bytes 0..5 from elements 0..5 (element 0 least significant); shorter arrays change nothing.
    void ToValue(const std::vector<uint8_t>& bytes);
    // The 6 low bytes, least significant first.
    std::vector<uint8_t> ToArray() const;
    // "AA-BB-..." text to a value; bad or missing groups give 0 bytes.
    static uint64_t ToValue(std::string_view text);
};
#pragma pack(pop)
static_assert(sizeof(TCvMacAddress) == 8);
