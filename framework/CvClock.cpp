#include "framework/CvClock.h"

#include "framework/CvFormat.h"

#include <chrono>
#include <ctime>

namespace {
TCvNowFunc& NowFunc()
{
    static TCvNowFunc func;
    return func;
}
} // namespace

TCvDateTime CvNow()
{
    if (NowFunc())
        return NowFunc()();
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    localtime_r(&secs, &tm);
    TCvDateTime t;
    t.Year = tm.tm_year + 1900;
    t.Month = tm.tm_mon + 1;
    t.Day = tm.tm_mday;
    t.Hour = tm.tm_hour;
    t.Minute = tm.tm_min;
    t.Second = tm.tm_sec;
    t.MilliSecond = static_cast<int>(ms);
    return t;
}

void CvSetNowFunction(TCvNowFunc func)
{
    NowFunc() = std::move(func);
}

std::string CvDateTimeText(const TCvDateTime& t)
{
    return CvFormat("%.4d-%.2d-%.2d %.2d:%.2d:%.2d.%.3d", t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second,
                    t.MilliSecond);
}

std::string CvDateText(const TCvDateTime& t)
{
    return CvFormat("%.4d-%.2d-%.2d", t.Year, t.Month, t.Day);
}
