// TCvLogSink: where a unit writes its log entries. The program-wide log (TCvAppLog) is one;
// TCvPrefixLogSink puts a fixed text before every entry and hands it on, so several units
// working side by side in one process (one per serial port) write lines that say whose they are.
#pragma once

#include "framework/CvFormat.h"

#include <cstdint>
#include <exception>
#include <string>

enum TCvAppLogMsgType : uint8_t { logInfo, logWarning, logError };

class TCvLogSink {
public:
    virtual ~TCvLogSink() = default;
    virtual void Add(TCvAppLogMsgType type, const std::string& msg) = 0;
};

// The text a format gives with its arguments (through CvFormat); a format that does not fit its
// arguments gives the format text itself with the formatter's complaint, so a log entry is
// never lost to a wrong format.
template <typename... TArgs>
std::string CvLogFormat(const std::string& format, const TArgs&... args)
{
    try {
        return CvFormat(format, args...);
    } catch (const std::exception& e) {
        return format + " [" + e.what() + "]";
    }
}

// Entries for an exception: "<msg> (Exception details follow...)" when `msg` is given, then
// "Exception: <what>", or with `recurse` one "Exception (i of n): ..." per nested exception;
// with `stack` a closing stack-trace entry.
void CvLogException(TCvLogSink& sink, TCvAppLogMsgType type, const std::string& msg, const std::exception& e,
                    bool recurse, bool stack);

class TCvPrefixLogSink : public TCvLogSink {
public:
    // Entries go to `target` as `prefix` followed by the entry's text.
    TCvPrefixLogSink(TCvLogSink& target, std::string prefix);
    void Add(TCvAppLogMsgType type, const std::string& msg) override;
    const std::string& Prefix() const { return fPrefix; }

private:
    TCvLogSink& fTarget;
    std::string fPrefix;
};
