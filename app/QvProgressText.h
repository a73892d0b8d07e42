// How far a programming run has come, and its texts: the one-line progress bar of the headless
// "program" command (drawn on a terminal's stderr) and the window's times and rate.
#pragma once

#include "flashprog/QvFlashProgFile.h"

#include <cstdint>
#include <string>

struct TQvProgressState {
    int32_t Percent = 0;     // 0..100
    int32_t Block = 0;       // blocks acknowledged so far
    int32_t Blocks = 0;      // blocks in the package
    uint64_t Bytes = 0;      // image bytes acknowledged so far
    uint64_t TotalBytes = 0; // image bytes in the package
    uint64_t ElapsedMs = 0;  // since the run started
};

// A run of `target`'s blocks starts.
void QvProgressStart(TQvProgressState& state, const TQvFlashProgTarget& target);
// The engine's progress event: the next block goes out, so the blocks before it are acknowledged.
void QvProgressBlockSent(TQvProgressState& state, const TQvFlashProgTarget& target, int32_t percent,
                         uint64_t elapsedMs);
// Bytes acknowledged per second so far; 0 before the first acknowledgement.
double QvProgressRate(const TQvProgressState& state);
// Seconds left at that rate; -1 while unknown.
int64_t QvProgressSecondsLeft(const TQvProgressState& state);

// "3.2 kB/s", "812 B/s", "1.1 MB/s".
std::string QvRateText(double bytesPerSecond);
// "0:41", "12:05", "1:02:05".
std::string QvDurationText(uint64_t seconds);

// "[#########...........]  45%  block 12/40  3.2 kB/s  0:12 left", `width` cells for the bar.
std::string QvProgressText(const TQvProgressState& state, int width = 30);
