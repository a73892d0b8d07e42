// The engine's and the package reader's way into the application log: one place that knows how
// the log is reached, so the rest of flashprog/ only says what to report.
#pragma once

#include "framework/CvAppLog.h"

#include <string>

inline void QvFlashProgLog(TCvAppLogMsgType type, const std::string& text)
{
    if (AppLog)
        AppLog->Add(type, text);
}

template <typename... TArgs>
    requires(sizeof...(TArgs) > 0)
void QvFlashProgLog(TCvAppLogMsgType type, const std::string& format, const TArgs&... args)
{
    if (AppLog)
        AppLog->Add(type, format, args...);
}
