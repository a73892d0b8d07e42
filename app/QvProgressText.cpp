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

void QvProgressStart(TQvProgressState& state, const TQvFlashProgTarget& target)
{
    state = TQvProgressState{};
    state.Blocks = static_cast<int32_t>(target.Block.size());
    for (const auto& block : target.Block)
        state.TotalBytes += block.Data.size();
}

void QvProgressBlockSent(TQvProgressState& state, const TQvFlashProgTarget& target, int32_t percent,
                         uint64_t elapsedMs)
{
    const auto& blocks = target.Block;
    state.Percent = percent;
    state.Block = std::min<int32_t>(state.Block + 1, static_cast<int32_t>(blocks.size()));
    state.Bytes = 0;
    for (int32_t i = 0; i + 1 < state.Block; ++i)
        state.Bytes += blocks[static_cast<size_t>(i)].Data.size();
    state.ElapsedMs = elapsedMs;
}

double QvProgressRate(const TQvProgressState& state)
{
    if (state.ElapsedMs == 0 || state.Bytes == 0)
        return 0.0;
    return static_cast<double>(state.Bytes) * 1000.0 / static_cast<double>(state.ElapsedMs);
}

int64_t QvProgressSecondsLeft(const TQvProgressState& state)
{
    const double rate = QvProgressRate(state);
    if (rate <= 0.0 || state.TotalBytes < state.Bytes)
        return -1;
    return static_cast<int64_t>(static_cast<double>(state.TotalBytes - state.Bytes) / rate + 0.5);
}

std::string QvProgressText(const TQvProgressState& state, int width)
{
    const int percent = std::clamp(state.Percent, 0, 100);
    width = std::max(width, 1);
    const int filled = percent * width / 100;
    std::string bar = "[";
    bar.append(static_cast<size_t>(filled), '#').append(static_cast<size_t>(width - filled), '.') += ']';
    std::string text = CvFormat("%s %3d%%  block %d/%d", bar, percent, state.Block, state.Blocks);
    if (const double rate = QvProgressRate(state); rate > 0.0) {
        text += "  " + QvRateText(rate);
        if (const int64_t left = QvProgressSecondsLeft(state); left >= 0)
            text += "  " + QvDurationText(static_cast<uint64_t>(left)) + " left";
    }
    return text;
}
