// The one-line progress bar of the headless "program" command (drawn on a terminal's stderr).
#pragma once

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

// "[#########...........]  45%  block 12/40  3.2 kB/s  0:12 left", `width` cells for the bar.
std::string QvProgressText(const TQvProgressState& state, int width = 30);
// "512 B/s", "11.2 kB/s", "1.1 MB/s".
std::string QvRateText(double bytesPerSecond);
// "0:07", "12:34", "1:02:03".
std::string QvDurationText(uint64_t seconds);
