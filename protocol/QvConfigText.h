// Text rules of the factory configuration: how typed values and Beacon Config File values are
// read into numbers, and how real numbers are written. Shared by the factory window and the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TQvConfigText {
public:
    TQvConfigText() = delete;

    // Integer text as an operator or a file holds it: the shared reader (decimal, or hex after
    // "$", "0x" or "0X", optional sign), extended to unsigned 32-bit decimals so a serial number
    // written in decimal reads back; false for anything else.
    static bool TextToInt(std::string_view text, int64_t& value);
    static int64_t TextToIntDef(std::string_view text, int64_t def);

    // Real number text with "." or "," as the decimal separator, optional sign and exponent.
    // False for anything else, including infinities and "not a number".
    static bool TextToReal(std::string_view text, double& value);

    // Real number with at most 15 significant digits and no trailing zeros; fixed notation for
    // magnitudes from 0.00001 below 10^15, otherwise "<digits>E<exponent>" ("1.5E-7", "2E20").
    // Always written with ".".
    static std::string RealToText(double value);

    // Exit rules of the window's controls, each returning the value to store.
    // Part number: trimmed, first 5 characters, 0 when unreadable, 50000 when outside 0..50000.
    static uint16_t PartNumberFromText(std::string_view text);
    // Revision: trimmed, 0 when unreadable, 250 when outside 0..250.
    static uint8_t RevisionFromText(std::string_view text);
    // Serial number: trimmed, 0 when unreadable, 999999 when outside 0..999999.
    static uint32_t SerialNumberFromText(std::string_view text);
    // System flags: every "0x" (any case) and every blank removed, the rest read as hex (0 when it
    // is not), low 16 bits.
    static uint16_t FlagsFromText(std::string_view text);
    // Baseline coefficient: trimmed real (0 when unreadable), to single precision, then limited
    // to -10 .. 10.
    static float BaselineFromText(std::string_view text);
};
