#include "app/QvGangDisplay.h"

#include "framework/CvFormat.h"

#include <algorithm>
#include <utility>

namespace {

constexpr size_t MaxPortWidth = 40;

std::string Pad(const std::string& text, size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string SerialText(const TQvGangRow& row)
{
    return row.SerialNumber ? CvFormat("%.6d", static_cast<int64_t>(*row.SerialNumber)) : std::string("-");
}

size_t PortWidth(const std::vector<TQvGangRow>& rows)
{
    size_t width = 4;
    for (const TQvGangRow& row : rows)
        width = std::max(width, row.Port.size());
    return std::min(width, MaxPortWidth);
}

} // namespace

std::string QvGangResultText(EQvGangResult result)
{
    switch (result) {
    case GANG_OK:
        return "ok";
    case GANG_FAILED:
        return "failed";
    case GANG_STOPPED:
        return "stopped";
    case GANG_NO_PORT:
        return "no port";
    default:
        return "running";
    }
}

std::string QvGangLiveLine(const TQvGangRow& row, size_t portWidth)
{
    std::string line = Pad(row.Port, portWidth) + "  SN " + Pad(SerialText(row), 6) + "  ";
    if (row.Result != GANG_RUNNING) {
        line += CvFormat("%s in %.1f s", QvGangResultText(row.Result), row.Seconds);
        if (!row.Error.empty())
            line += ": " + row.Error;
        return line;
    }
    const TQvProgressState& p = row.Progress;
    if (p.Blocks == 0)
        return line + "...";
    line += CvFormat("%3d%%", std::clamp(p.Percent, 0, 100));
    if (const double rate = QvProgressRate(p); rate > 0.0) {
        line += "  " + Pad(QvRateText(rate), 10);
        if (const int64_t left = QvProgressSecondsLeft(p); left >= 0)
            line += "  " + QvDurationText(static_cast<uint64_t>(left)) + " left";
    }
    return line;
}

std::string QvGangSummaryText(const std::vector<TQvGangRow>& rows, double totalSeconds)
{
    const size_t width = PortWidth(rows);
    std::string text = Pad("Port", width) + "  Serial  Result   Time     Error\n";
    size_t counts[GANG_NO_PORT + 1] = {};
    uint64_t bytes = 0;
    for (const TQvGangRow& row : rows) {
        ++counts[row.Result];
        if (row.Result == GANG_OK)
            bytes += row.Progress.TotalBytes;
        std::string line = Pad(row.Port, width) + "  " + Pad(SerialText(row), 6) + "  "
            + Pad(QvGangResultText(row.Result), 7) + "  " + CvFormat("%.1f s", row.Seconds);
        if (!row.Error.empty())
            line = Pad(line, width + 26) + "  " + row.Error;
        text += line + "\n";
    }
    std::string totals = CvFormat("%u beacon%s:", static_cast<unsigned>(rows.size()), std::string(rows.size() == 1 ? "" : "s"));
    std::string sep = " ";
    for (const EQvGangResult result : {GANG_OK, GANG_FAILED, GANG_STOPPED, GANG_NO_PORT, GANG_RUNNING}) {
        if (counts[result] == 0)
            continue;
        totals += sep + CvFormat("%u %s", static_cast<unsigned>(counts[result]), QvGangResultText(result));
        sep = ", ";
    }
    if (bytes > 0)
        totals += CvFormat("; %u bytes programmed", static_cast<unsigned>(bytes));
    totals += CvFormat("; %.1f s in all", totalSeconds);
    return text + totals + "\n";
}

TQvGangDisplay::TQvGangDisplay(bool live, size_t width, TWriter out)
    : fLive(live)
    , fWidth(std::max<size_t>(width, 20))
    , fOut(std::move(out))
    , fTimer(RedrawMs)
{
    fTimer.SetOnTimer(TCvEvent<TCvTimerParams>(this, &TQvGangDisplay::RedrawTimer));
}

TQvGangDisplay::~TQvGangDisplay()
{
    fTimer.Stop();
}

size_t TQvGangDisplay::Add(const std::string& port)
{
    TQvGangRow row;
    row.Port = port;
    fRows.push_back(row);
    fActive.push_back(fRows.size() - 1);
    fPortWidth = PortWidth(fRows);
    Changed(fRows.size() - 1);
    return fRows.size() - 1;
}

void TQvGangDisplay::Changed(size_t index)
{
    if (!fLive)
        return;
    fDirty = true;
    if (fRows[index].Result != GANG_RUNNING)
        Redraw();
    else if (!fTimer.Enabled())
        fTimer.Start();
}

void TQvGangDisplay::LogLine(const std::string& text)
{
    if (!fLive)
        fOut(text + "\n");
}

void TQvGangDisplay::Finish(double totalSeconds)
{
    if (fLive)
        Redraw();
    fTimer.Stop();
    fOut("\n" + QvGangSummaryText(fRows, totalSeconds));
}

void TQvGangDisplay::RedrawTimer(TCvTimerParams&)
{
    if (fDirty)
        Redraw();
    else
        fTimer.Stop();
}

void TQvGangDisplay::Redraw()
{
    fDirty = false;
    std::string text = fDrawn > 0 ? CvFormat("\033[%uA", static_cast<unsigned>(fDrawn)) : std::string();
    text += "\r";
    // Finished rows are written once above the live block and leave it, so the block holds
    // only the beacons still at work however long a station runs.
    std::vector<size_t> still;
    for (const size_t i : fActive)
        if (fRows[i].Result != GANG_RUNNING)
            text += "\033[K" + Fit(QvGangLiveLine(fRows[i], fPortWidth)) + "\n";
        else
            still.push_back(i);
    for (const size_t i : still)
        text += "\033[K" + Fit(QvGangLiveLine(fRows[i], fPortWidth)) + "\n";
    text += "\033[J";
    fActive = std::move(still);
    fDrawn = fActive.size();
    fOut(text);
}

std::string TQvGangDisplay::Fit(const std::string& line) const
{
    // A line that wraps would throw off the count of lines to move back over.
    return line.size() < fWidth ? line : line.substr(0, fWidth - 1);
}
