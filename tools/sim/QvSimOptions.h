// Command line of quorvan-beacon-sim, parsed without Qt so tests can build a beacon from the
// same options the program takes.
#pragma once

#include "tools/sim/QvSimBeacon.h"

#include <string>
#include <utility>
#include <vector>

struct TQvSimOptions {
    TQvSimConfig Config;         // behaviour and faults; its State is filled by Resolve
    std::vector<std::pair<std::string, std::string>> StateSets; // state keys set by options, in order
    std::string StateFile;
    std::string Device;          // attach to this serial device instead of a pseudo-terminal
    std::string Link;            // symbolic link to the pseudo-terminal
    bool BaudGiven = false;
    bool Verbose = false;
    bool Help = false;

    // Every value is checked here; `error` names the option and what it takes.
    static bool Parse(const std::vector<std::string>& args, TQvSimOptions& out, std::string& error);
    static std::string Usage();

    // The beacon's starting state: defaults, then the state file when it exists, then the options.
    bool Resolve(TQvSimConfig& config, std::string& error) const;
};
