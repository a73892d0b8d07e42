#include "tests/support/TestComPort.h"

#include <algorithm>
#include <cerrno>

TQvTestComPort::TQvTestComPort() = default;

TQvTestComPort::~TQvTestComPort()
{
    Close();
}

void TQvTestComPort::Open()
{
    if (fOpen)
        return;
    if (fOpenError > 0)
        throw EComPort(CE_OpenFailed, fOpenError);
    fOpen = true;
    ++fOpenCount;
    fInput.clear();
    fUndelivered = false;
    LineIdle();
    CallAfterOpen();
}

void TQvTestComPort::Close()
{
    if (!fOpen)
        return;
    fOpen = false;
    ++fCloseCount;
    fInput.clear();
    fUndelivered = false;
    LineIdle();
    CallAfterClose();
}

void TQvTestComPort::ClearBuffer(bool input, bool output)
{
    if (!fOpen)
        throw EComPort(CE_PurgeFailed, EBADF);
    if (input) {
        fInput.clear();
        fUndelivered = false;
    }
    if (output)
        LineIdle();
}

int32_t TQvTestComPort::InputCount()
{
    if (!fOpen)
        throw EComPort(CE_ClearComFailed, EBADF);
    return static_cast<int32_t>(fInput.size());
}

int32_t TQvTestComPort::ReadStr(std::string& str, int32_t count)
{
    str.clear();
    if (count < 1)
        return 0;
    if (!fOpen)
        throw EComPort(CEPortNotOpen);
    const size_t n = std::min(fInput.size(), static_cast<size_t>(count));
    str = fInput.substr(0, n);
    fInput.erase(0, n);
    return static_cast<int32_t>(n);
}

int32_t TQvTestComPort::WriteStr(const std::string& str)
{
    if (!fOpen)
        throw EComPort(CEPortNotOpen);
    if (str.empty())
        return 0;
    if (fWriteError > 0)
        throw EComPort(CE_WriteFailed, fWriteError);
    fWritten += str;
    if (fLineTimed)
        LineWritten(str.size());
    if (fOnWrite) {
        const bool outer = !fInWrite;
        fInWrite = true;
        try {
            fOnWrite(str);
        } catch (...) {
            if (outer)
                fInWrite = false;
            throw;
        }
        if (outer)
            fInWrite = false;
    }
    return static_cast<int32_t>(str.size());
}

void TQvTestComPort::Lose()
{
    if (!fOpen)
        return;
    DeviceWentAway();
    Close();
}

void TQvTestComPort::Receive(const std::string& bytes)
{
    if (!fOpen || bytes.empty())
        return;
    fInput += bytes;
    fUndelivered = true;
    if (!fDelivering && !fInWrite)
        Deliver();
}

bool TQvTestComPort::DeliverPending()
{
    if (!fOpen || fDelivering || !fUndelivered)
        return false;
    Deliver();
    return true;
}

std::string TQvTestComPort::TakeWritten()
{
    std::string out;
    out.swap(fWritten);
    return out;
}

// One delivery at a time; bytes that arrive during a handler get a further delivery after it.
void TQvTestComPort::Deliver()
{
    fDelivering = true;
    try {
        while (fOpen && fUndelivered) {
            fUndelivered = false;
            if (Events()[evRxChar])
                CallRxChar(static_cast<int32_t>(fInput.size()));
        }
    } catch (...) {
        fDelivering = false;
        throw;
    }
    fDelivering = false;
}
