#include "app/QvTracePort.h"

#include "framework/CvClock.h"
#include "framework/CvFoundation.h"


namespace {

std::string Printable(const std::string& line)
{
    std::string out;
    for (unsigned char c : line) {
        if (c >= 32 && c < 127)
            out += static_cast<char>(c);
        else
            out += "\\x" + TCvConvert::IntToHex(c, 2);
    }
    return out;
}

} // namespace

int32_t TQvTracePort::ReadStr(std::string& str, int32_t count)
{
    const int32_t n = TComSerialPort::ReadStr(str, count);
    if (fTrace && n > 0)
        Emit("<-", fRxPending, str);
    return n;
}

int32_t TQvTracePort::WriteStr(const std::string& str)
{
    if (fTrace)
        Emit("->", fTxPending, str);
    return TComSerialPort::WriteStr(str);
}

void TQvTracePort::Emit(const char* direction, std::string& pending, const std::string& chunk)
{
    // Whole lines are printed as they complete; CR and LF end a line and are not shown.
    for (char c : chunk) {
        if (c == '\r' || c == '\n') {
            if (!pending.empty()) {
                std::fprintf(fStream, "%s %s%s %s\n", CvDateTimeText(CvNow()).c_str(), fLabel.c_str(), direction,
                             Printable(pending).c_str());
                std::fflush(fStream);
                pending.clear();
            }
        } else if (pending.size() < 8192) {
            pending += c;
        }
    }
}
