// Serial settings as a value record (defaults, INI section, port, one-line summary) and the
// class-level helpers for port listing and baud-rate mapping. Everything here is free of Qt
// (qv_comport) except GetPorts and CheckPortExists, which ask the system (qv_serial).
#pragma once

#include "serial/ComPort.h"

#include <cstdint>
#include <string>
#include <vector>

class TCvIniFile;

struct TCvComSettings {
    TBaudRate fBaudRate = br9600;
    TDataBits fDataBits = dbEight;
    TFlowControl fFlowControl = fcNone;
    TParityBits fParity = prNone;
    std::string fPortName;
    TStopBits fStopBits = sbOneStopBit;

    // 9600 baud, 8 data bits, no flow control, no parity, no port, 1 stop bit.
    void Defaults();
    // Copies the port's settings (its flow-control preset included); nothing for no port.
    void FromComPort(const TComPort* com);
    // Applies the settings to the port (name, rate, data bits, flow-control preset, parity,
    // stop bits, in that order); nothing for no port. On an open port the writes re-apply the
    // line settings and can raise EComPort.
    void ToComPort(TComPort* com) const;
    // Reads the section's keys "Port", "BaudRate", "DataBits", "StopBits", "Parity",
    // "FlowControl"; a missing key takes its fixed default ("", "9600", "8", "1", "None",
    // "None"), an unknown text the enumeration's fallback. The port name is trimmed (and, on
    // Windows, upper-cased). Errors of the INI file propagate.
    void FromIniFile(TCvIniFile& ini, const std::string& section);
    // Writes the six keys with the members' texts. Errors of the INI file propagate.
    void ToIniFile(TCvIniFile& ini, const std::string& section);
    // Every value is accepted; called after reading and before writing the INI keys.
    void Validate();

    const std::string& PortName() const { return fPortName; }
    void SetPortName(const std::string& value) { fPortName = value; } // stored unchanged
    // "port-rate-data-stop-P" with P the first letter of the parity, e.g. COM1-115200-8-1-N.
    std::string SettingsText() const;
};

class TCvComPort {
public:
    // The member for a rate: without allowCustom the highest standard rate not above `value`
    // (br110 below 110); with allowCustom only an exact standard rate, else brCustom.
    static TBaudRate GetBaudRate(uint32_t value, bool allowCustom);
    // As above for a number text, trimmed first; a text that is no number, or a negative
    // number, counts as 0.
    static TBaudRate GetBaudRate(const std::string& value, bool allowCustom);
    // The standard rate of a member; 0 for brCustom.
    static uint32_t GetBaudValue(TBaudRate baud);
    // Adds the serial ports present to `ports`, then sorts and cuts the list (PreparePortList).
    // The names are those TComPort::SetPort accepts (ttyUSB0 on Linux, COM3 on Windows).
    static void GetPorts(std::vector<std::string>& ports);
    // Sorts the names ignoring ASCII case, then cuts each at its first character outside
    // 0x20..0x7E.
    static void PreparePortList(std::vector<std::string>& ports);
    // Whether `port` (trimmed) names a port present: one GetPorts lists (exactly on Linux and
    // macOS, ignoring case on Windows), or a path to an existing terminal device such as a
    // pseudo-terminal or a /dev/serial/by-id link.
    static bool CheckPortExists(const std::string& port);
    // The port name as settings store it: trimmed, and upper-cased on Windows only, where port
    // names ignore case.
    static std::string NormalizePortName(const std::string& port);
    // SettingsText of the port's current settings; empty for no port.
    static std::string GetSettingsString(const TComPort* com);
};
