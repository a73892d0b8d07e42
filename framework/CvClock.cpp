#include "framework/CvClock.h"

#include "framework/CvFormat.h"

#include <chrono>
#include <cmath>
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

namespace {
// Day number of a civil date, 1970-01-01 being 0 (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const int64_t kSerialEpoch = DaysFromCivil(1899, 12, 30);
const double kMsPerDay = 86400000.0;
} // namespace

double CvDateTimeToSerial(const TCvDateTime& t)
{
    const double days = static_cast<double>(DaysFromCivil(t.Year, t.Month, t.Day) - kSerialEpoch);
    const double ms = ((t.Hour * 60.0 + t.Minute) * 60.0 + t.Second) * 1000.0 + t.MilliSecond;
    // Before the epoch the fraction still counts forward from midnight (-1.25 is 1899-12-29 06:00).
    return days >= 0 ? days + ms / kMsPerDay : days - ms / kMsPerDay;
}

TCvDateTime CvSerialToDateTime(double serial)
{
    TCvDateTime t;
    if (!std::isfinite(serial))
        return t;
    double whole = std::trunc(serial);
    int64_t ms = std::llround(std::fabs(serial - whole) * kMsPerDay);
    if (ms >= 86400000) { // rounding reached the next midnight
        ms -= 86400000;
        whole += 1; // the next day, whichever the sign
    }
    CivilFromDays(static_cast<int64_t>(whole) + kSerialEpoch, t.Year, t.Month, t.Day);
    t.Hour = static_cast<int>(ms / 3600000);
    t.Minute = static_cast<int>(ms / 60000 % 60);
    t.Second = static_cast<int>(ms / 1000 % 60);
    t.MilliSecond = static_cast<int>(ms % 1000);
    return t;
}

int CvDaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}
