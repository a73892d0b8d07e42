// The engine's and the package reader's way into a log: the sink they were given, or the
// program-wide log when they were given none. One place knows this, so the rest of flashprog/
// only says what to report.
#pragma once

#include "framework/CvAppLog.h"
#include "framework/CvLogSink.h"

#include <string>

inline TCvLogSink* QvFlashProgSink(TCvLogSink* log)
{
    return log ? log : AppLog;
}

inline void QvFlashProgLog(TCvLogSink* log, TCvAppLogMsgType type, const std::string& text)
{
    if (TCvLogSink* sink = QvFlashProgSink(log))
        sink->Add(type, text);
}

template <typename... TArgs>
    requires(sizeof...(TArgs) > 0)
void QvFlashProgLog(TCvLogSink* log, TCvAppLogMsgType type, const std::string& format, const TArgs&... args)
{
    if (TCvLogSink* sink = QvFlashProgSink(log))
        sink->Add(type, CvLogFormat(format, args...));
}
