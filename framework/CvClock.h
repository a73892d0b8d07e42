// The one source of "now" (local wall-clock time) and its text form; tests can pin it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct TCvDateTime {
    int Year = 1970;
    int Month = 1;
    int Day = 1;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int MilliSecond = 0;
};

using TCvNowFunc = std::function<TCvDateTime()>;

// Local time now, from the pinned function when one is set.
TCvDateTime CvNow();
// Pins "now" (tests); an empty function restores the system clock.
void CvSetNowFunction(TCvNowFunc func);
// "yyyy-mm-dd hh:nn:ss.zzz".
std::string CvDateTimeText(const TCvDateTime& t);
// "yyyy-mm-dd".
std::string CvDateText(const TCvDateTime& t);

// Date-time as a serial number: days since 1899-12-30, the fraction the time of day.
double CvDateTimeToSerial(const TCvDateTime& t);
// The serial number back to its date and time (to the millisecond).
TCvDateTime CvSerialToDateTime(double serial);
// Days in a month of the proleptic Gregorian calendar (0 for a month outside 1..12).
int CvDaysInMonth(int year, int month);
