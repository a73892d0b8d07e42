// What the system knows about a serial port beyond its name (USB adapter description,
// maker, serial number), for the port list's tooltips.
#pragma once

#include <string>

class TQvPortInfo {
public:
    TQvPortInfo() = delete;

    // "FT232R USB UART - FTDI (A10K3Z9)"; empty when the port is not listed or tells nothing.
    static std::string Description(const std::string& portName);
    // The port's hint: its full path, and on a second line its description when there is one
    // ("/dev/ttyUSB0\nFT232R USB UART - FTDI (A10K3Z9)").
    static std::string Hint(const std::string& portName);
};
