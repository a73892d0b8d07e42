// The Beacon Config File: the factory configuration as an INI file, so calibration results can
// be kept and reused. Sections and keys are written in a fixed order; a saved file carries
// Load=0, so loading it back changes only the USBL calibration until someone sets Load=1.
#pragma once

#include "framework/CvClock.h"
#include "protocol/QvCmdDefs.h"

#include <string>

class TCvIniFile;

class TQvConfigFile {
public:
    TQvConfigFile() = delete;

    // The offered file name: six-digit serial number and the time, "000042_20260314_093005.ini".
    static std::string DefaultFileName(uint32_t serialNumber, const TCvDateTime& time);

    // Writes the whole file (replacing any earlier one) with `time` as its time stamp.
    // False with a readable reason when it cannot be written; an earlier file then stays as it was.
    static bool Save(const std::string& fileName, const TQvCmdEngineeringConfig& config, const TCvDateTime& time,
                     std::string& error);

    // Reads the file into `config`: the hardware identity only when Load is true, the USBL
    // calibration always (missing or unreadable values take the neutral calibration).
    // False with a reason, and `config` untouched, when the file cannot be read at all.
    static bool Load(const std::string& fileName, TQvCmdEngineeringConfig& config, std::string& error);

private:
    static void ReadInto(TCvIniFile& ini, TQvCmdEngineeringConfig& config);
};
