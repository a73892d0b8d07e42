#include "app/QvProgressText.h"

#include "framework/CvFormat.h"

#include <algorithm>

std::string QvRateText(double bytesPerSecond)
{
    if (bytesPerSecond >= 1024.0 * 1024.0)
        return CvFormat("%.1f MB/s", bytesPerSecond / (1024.0 * 1024.0));
    if (bytesPerSecond >= 1024.0)
        return CvFormat("%.1f kB/s", bytesPerSecond / 1024.0);
    return CvFormat("%.0f B/s", bytesPerSecond);
}

std::string QvDurationText(uint64_t seconds)
{
    if (seconds >= 3600)
        return CvFormat("%d:%.2d:%.2d", static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                        static_cast<int>(seconds % 60));
    return CvFormat("%d:%.2d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
}

std::string QvProgressText(const TQvProgressState& state, int width)
{
    const int percent = std::clamp(state.Percent, 0, 100);
    width = std::max(width, 1);
    const int filled = percent * width / 100;
    std::string bar = "[";
    bar.append(static_cast<size_t>(filled), '#').append(static_cast<size_t>(width - filled), '.') += ']';
    std::string text = CvFormat("%s %3d%%  block %d/%d", bar, percent, state.Block, state.Blocks);
    if (state.ElapsedMs > 0 && state.Bytes > 0) {
        const double rate = static_cast<double>(state.Bytes) * 1000.0 / static_cast<double>(state.ElapsedMs);
        text += "  " + QvRateText(rate);
        if (state.TotalBytes >= state.Bytes) {
            const uint64_t left = static_cast<uint64_t>(static_cast<double>(state.TotalBytes - state.Bytes) / rate + 0.5);
            text += "  " + QvDurationText(left) + " left";
        }
    }
    return text;
}
