// What a run over several beacons shows: on a terminal one live line per beacon (port, serial
// number once known, percent, rate, time left, then its result); elsewhere the log lines as they
// come. At the end a summary table with a row per beacon and the totals.
#pragma once

#include "app/QvProgressText.h"
#include "framework/CvTimer.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

enum EQvGangResult : uint8_t {
    GANG_RUNNING,
    GANG_OK,
    GANG_FAILED,
    GANG_STOPPED,  // interrupted before it ended
    GANG_NO_PORT   // the port could not be opened
};

struct TQvGangRow {
    std::string Port;
    std::optional<uint32_t> SerialNumber;
    TQvProgressState Progress;   // programming only; percent stays 0 for the other operations
    EQvGangResult Result = GANG_RUNNING;
    double Seconds = 0;          // from connecting to the end
    std::string Error;           // the line that ended a failed run
};

// The live line of a row, `portWidth` columns for the port.
std::string QvGangLiveLine(const TQvGangRow& row, size_t portWidth);
// The summary: a header, a row per beacon, and a totals line.
std::string QvGangSummaryText(const std::vector<TQvGangRow>& rows, double totalSeconds);
// "ok", "failed", "stopped", "no port", "running".
std::string QvGangResultText(EQvGangResult result);

class TQvGangDisplay {
public:
    using TWriter = std::function<void(const std::string&)>;

    // `live`: a terminal that takes cursor movement, `width` its columns. `out` receives every
    // piece of text to show, in order.
    TQvGangDisplay(bool live, size_t width, TWriter out);
    ~TQvGangDisplay();
    TQvGangDisplay(const TQvGangDisplay&) = delete;
    TQvGangDisplay& operator=(const TQvGangDisplay&) = delete;

    // A new beacon; returns its row number.
    size_t Add(const std::string& port);
    TQvGangRow& Row(size_t index) { return fRows[index]; }
    const std::vector<TQvGangRow>& Rows() const { return fRows; }
    // The row changed: a result is drawn at once, progress at most ten times a second.
    void Changed(size_t index);
    // A log line (naming its port): written as it comes unless the display is live.
    void LogLine(const std::string& text);
    // Draws the last state of the live lines, then writes the summary.
    void Finish(double totalSeconds);

    static constexpr uint32_t RedrawMs = 100;

private:
    void Redraw();
    void RedrawTimer(TCvTimerParams& params);
    std::string Fit(const std::string& line) const;

    bool fLive;
    size_t fWidth;
    TWriter fOut;
    std::vector<TQvGangRow> fRows;
    std::vector<size_t> fActive;   // rows on the live block, in order
    size_t fDrawn = 0;             // live lines on the screen now
    size_t fPortWidth = 0;
    bool fDirty = false;
    TCvTimer fTimer;
};
