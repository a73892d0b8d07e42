// The simulated serial line between the beacon and the device: optional line-rate pacing in
// both directions (10 bits a character), replies split into chunks with pauses, and noise
// between replies. Every delay runs on TCvTimer, so a manual clock drives it in tests.
#pragma once

#include "framework/CvEvent.h"
#include "framework/CvTimer.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <random>
#include <string>

class TQvSimLink;

struct TQvSimLinkDataParams {
    TQvSimLink* Sender = nullptr;
    const uint8_t* Data = nullptr;
    size_t Count = 0;
};

struct TQvSimLinkParams {
    TQvSimLink* Sender = nullptr;
};

class TQvSimLink {
public:
    // Received bytes not yet delivered beyond this are dropped, as by an overrun UART.
    static constexpr size_t MaxPendingInput = 1 << 20;

    TQvSimLink();
    ~TQvSimLink();
    TQvSimLink(const TQvSimLink&) = delete;
    TQvSimLink& operator=(const TQvSimLink&) = delete;

    // 0 (the default) delivers and sends at once.
    void SetBaud(uint32_t baud);
    uint32_t Baud() const { return fBaud; }
    // Splits every sent line into chunks of `size` bytes (0: whole) with `pauseMs` between them.
    void SetChunking(uint32_t size, uint32_t pauseMs);
    // Puts `count` random bytes (never "$") before every sent line.
    void SetNoise(uint32_t count, uint32_t seed);

    // Bytes from the device; delivered through OnDeliver at line rate.
    void Receive(const uint8_t* data, size_t count);
    // A line for the device; written through OnOutput after noise, chunking and pacing.
    void Send(const std::string& line);
    // Drops everything not yet delivered or written, and stops the timers.
    void Clear();
    bool SendIdle() const { return fTx.empty(); }
    size_t DroppedInput() const { return fDroppedInput; }

    void SetOnDeliver(const TCvEvent<TQvSimLinkDataParams>& e) { fOnDeliver = e; }
    void SetOnOutput(const TCvEvent<TQvSimLinkDataParams>& e) { fOnOutput = e; }
    // Raised each time the last queued byte has been written.
    void SetOnDrained(const TCvEvent<TQvSimLinkParams>& e) { fOnDrained = e; }

private:
    struct TSegment {
        std::string Bytes;
        uint32_t PauseMs = 0; // silence before the first byte
    };

    double NowUs() const;
    double CharUs() const { return fBaud ? 1e7 / fBaud : 0.0; }
    void PumpRx();
    void PumpTx();
    void Schedule(TCvTimer& timer, double dueUs, double nowUs);
    void OnRxTimer(TCvTimerParams&);
    void OnTxTimer(TCvTimerParams&);

    uint32_t fBaud = 0;
    uint32_t fChunkSize = 0;
    uint32_t fChunkPauseMs = 0;
    uint32_t fNoise = 0;
    std::mt19937 fRandom{1};

    std::deque<uint8_t> fRx;
    std::deque<TSegment> fTx;
    double fRxFreeUs = 0;   // when the receiving line finishes its last character
    double fTxFreeUs = 0;   // when the sending line finishes its last character
    double fVirtualUs = -1; // line time of the byte being delivered, while delivering paced input
    bool fDelivering = false;
    bool fSending = false;
    size_t fDroppedInput = 0;

    TCvTimerService* fService;
    TCvTimer fRxTimer;
    TCvTimer fTxTimer;
    TCvEvent<TQvSimLinkDataParams> fOnDeliver;
    TCvEvent<TQvSimLinkDataParams> fOnOutput;
    TCvEvent<TQvSimLinkParams> fOnDrained;
};
