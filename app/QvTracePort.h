// The serial port with an optional trace: every line sent and received goes to standard error
// with a millisecond time stamp and its direction ("->" sent, "<-" received). The trace shows
// the characters exactly as they cross the line; the log is not involved.
#pragma once

#include "serial/ComSerialPort.h"

#include <cstdio>
#include <string>

class TQvTracePort : public TComSerialPort {
public:
    TQvTracePort() = default;

    bool Trace() const { return fTrace; }
    void SetTrace(bool value) { fTrace = value; }
    // Text put before each trace line's direction (the port's name when several ports trace).
    void SetTraceLabel(const std::string& label) { fLabel = label; }
    // Where the trace goes (standard error unless a test gives another stream).
    void SetTraceStream(std::FILE* stream) { fStream = stream; }

    int32_t ReadStr(std::string& str, int32_t count) override;
    int32_t WriteStr(const std::string& str) override;

private:
    void Emit(const char* direction, std::string& pending, const std::string& chunk);

    bool fTrace = false;
    std::FILE* fStream = stderr;
    std::string fLabel;
    std::string fRxPending;
    std::string fTxPending;
};
