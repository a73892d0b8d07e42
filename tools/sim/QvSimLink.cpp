#include "tools/sim/QvSimLink.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {
// The services count whole milliseconds; a character counts as through when its end falls
// within half a millisecond of now, so rounding neither gains nor loses time on average.
constexpr double kToleranceUs = 500.0;
} // namespace

TQvSimLink::TQvSimLink()
    : fService(TCvTimerService::Current())
    , fRxTimer(1, fService)
    , fTxTimer(1, fService)
{
    fRxTimer.SetOnTimer(TCvEvent<TCvTimerParams>(this, &TQvSimLink::OnRxTimer));
    fTxTimer.SetOnTimer(TCvEvent<TCvTimerParams>(this, &TQvSimLink::OnTxTimer));
}

TQvSimLink::~TQvSimLink() = default;

double TQvSimLink::NowUs() const
{
    TCvTimerService* service = fService ? fService : TCvTimerService::Current();
    if (!service)
        throw std::logic_error("TQvSimLink: no timer service installed");
    return static_cast<double>(service->NowMs()) * 1000.0;
}

void TQvSimLink::SetBaud(uint32_t baud)
{
    fBaud = baud;
}

void TQvSimLink::SetChunking(uint32_t size, uint32_t pauseMs)
{
    fChunkSize = size;
    fChunkPauseMs = pauseMs;
}

void TQvSimLink::SetNoise(uint32_t count, uint32_t seed)
{
    fNoise = count;
    fRandom.seed(seed);
}

void TQvSimLink::Clear()
{
    fRx.clear();
    fTx.clear();
    fRxTimer.Stop();
    fTxTimer.Stop();
    fVirtualUs = -1;
}

void TQvSimLink::Schedule(TCvTimer& timer, double dueUs, double nowUs)
{
    const double waitMs = std::ceil((dueUs - kToleranceUs - nowUs) / 1000.0);
    timer.Start(static_cast<uint32_t>(std::max(1.0, waitMs)));
}

void TQvSimLink::Receive(const uint8_t* data, size_t count)
{
    if (count == 0)
        return;
    if (fRx.empty() && fBaud)
        fRxFreeUs = std::max(fRxFreeUs, NowUs());
    const size_t room = fRx.size() < MaxPendingInput ? MaxPendingInput - fRx.size() : 0;
    const size_t take = std::min(room, count);
    fRx.insert(fRx.end(), data, data + take);
    fDroppedInput += count - take;
    PumpRx();
}

void TQvSimLink::PumpRx()
{
    if (fDelivering)
        return; // the outer delivery loop picks the new bytes up
    fDelivering = true;
    if (!fBaud) {
        while (!fRx.empty()) {
            const std::string batch(fRx.begin(), fRx.end());
            fRx.clear();
            TQvSimLinkDataParams p{this, reinterpret_cast<const uint8_t*>(batch.data()), batch.size()};
            fOnDeliver(p);
        }
    } else {
        const double now = NowUs();
        const double charUs = CharUs();
        while (!fRx.empty() && fRxFreeUs + charUs <= now + kToleranceUs) {
            fRxFreeUs += charUs;
            const uint8_t byte = fRx.front();
            fRx.pop_front();
            fVirtualUs = fRxFreeUs;
            TQvSimLinkDataParams p{this, &byte, 1};
            fOnDeliver(p);
        }
        fVirtualUs = -1;
        if (!fRx.empty())
            Schedule(fRxTimer, fRxFreeUs + charUs, now);
    }
    fDelivering = false;
}

void TQvSimLink::OnRxTimer(TCvTimerParams&)
{
    fRxTimer.Stop();
    PumpRx();
}

void TQvSimLink::Send(const std::string& line)
{
    const bool wasIdle = fTx.empty();
    std::string noise;
    for (uint32_t i = 0; i < fNoise; ++i) {
        uint8_t b = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 254)(fRandom));
        if (b >= '$')
            ++b; // every byte value but "$"
        noise.push_back(static_cast<char>(b));
    }
    if (fChunkSize == 0 || line.size() <= fChunkSize) {
        fTx.push_back({noise + line, 0});
    } else {
        for (size_t pos = 0; pos < line.size(); pos += fChunkSize) {
            TSegment seg{line.substr(pos, fChunkSize), pos == 0 ? 0 : fChunkPauseMs};
            if (pos == 0)
                seg.Bytes.insert(0, noise);
            fTx.push_back(std::move(seg));
        }
    }
    if (wasIdle && (fBaud || fChunkPauseMs))
        fTxFreeUs = std::max(fTxFreeUs, fVirtualUs >= 0 ? fVirtualUs : NowUs());
    PumpTx();
}

void TQvSimLink::PumpTx()
{
    if (fSending)
        return; // the outer loop writes what was queued meanwhile
    fSending = true;
    const double charUs = CharUs();
    const bool timed = fBaud || fChunkPauseMs;
    const double now = timed ? NowUs() : 0.0;
    bool wrote = false;
    while (!fTx.empty()) {
        TSegment& seg = fTx.front();
        if (seg.PauseMs) {
            fTxFreeUs += seg.PauseMs * 1000.0;
            seg.PauseMs = 0;
        }
        size_t n = seg.Bytes.size();
        if (timed) {
            const double room = now + kToleranceUs - fTxFreeUs;
            if (room < 0)
                n = 0;
            else if (charUs > 0)
                n = std::min(n, static_cast<size_t>(room / charUs));
        }
        if (n == 0)
            break;
        const std::string out = seg.Bytes.substr(0, n);
        seg.Bytes.erase(0, n);
        fTxFreeUs += static_cast<double>(n) * charUs;
        if (seg.Bytes.empty())
            fTx.pop_front();
        TQvSimLinkDataParams p{this, reinterpret_cast<const uint8_t*>(out.data()), out.size()};
        fOnOutput(p);
        wrote = true;
    }
    if (!fTx.empty()) {
        const double due = fTxFreeUs + (fTx.front().PauseMs ? fTx.front().PauseMs * 1000.0 : 0.0) + charUs;
        Schedule(fTxTimer, due, now);
    }
    fSending = false;
    if (wrote && fTx.empty()) {
        TQvSimLinkParams p{this};
        fOnDrained(p);
    }
}

void TQvSimLink::OnTxTimer(TCvTimerParams&)
{
    fTxTimer.Stop();
    PumpTx();
}
