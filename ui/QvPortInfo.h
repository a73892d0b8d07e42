// What the system knows about a serial port beyond its name (USB adapter description,
// maker, serial number), for the port list's tooltips.
#pragma once

#include <string>

class TQvPortInfo {
public:
    TQvPortInfo() = delete;

    // "FT232R USB UART - FTDI (A10K3Z9)"; empty when the port is not listed or tells nothing.
    static std::string Description(const std::string& portName);
};
