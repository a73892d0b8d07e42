// The command line of quorvan-programmer: a command with its file, and the program's switches.
#pragma once

#include <string>
#include <vector>

// Exit statuses of the headless commands.
enum EQvExitStatus : int {
    QV_EXIT_OK = 0,
    QV_EXIT_USAGE = 1,        // bad arguments
    QV_EXIT_PORT = 2,         // the serial port is not available
    QV_EXIT_REJECTED = 3,     // the package or configuration file was rejected
    QV_EXIT_BEACON = 4,       // the beacon refused, answered wrongly or timed out
    QV_EXIT_INSTANCE = 5      // another instance holds the log and settings
};

// The command line of a headless run: the command, its file, and the switches it takes.
struct TQvHeadlessArgs {
    std::string Command;            // "ports", "info", "program", "config", "inspect"; empty: desktop
    std::string File;               // the command's file argument (headless only)
    std::vector<std::string> Ports; // -PORT: every port named, in order (a list, or the switch repeated)
    std::string Watch;              // -WATCH: the glob pattern of a production station
    std::string Results;            // -RESULTS: the result records file (JSON Lines)
    bool Trace = false;             // -TRACE
    bool Help = false;              // --help, -help, -h, -?
    std::string Error;              // why the arguments are unusable; empty when fine
};

// Several beacons at once: more than one port, or a station watching for ports.
inline bool QvIsGangRun(const TQvHeadlessArgs& args)
{
    return args.Ports.size() > 1 || !args.Watch.empty();
}

// Splits argv (without the program path) into command, file and switches. Switches begin with
// "-" or with "/" followed by a name (so "/dev/ttyUSB0" and "/tmp/a.fwx" stay arguments).
// A known command first makes a headless run, and anything it does not know is an error.
// Otherwise the desktop program starts: it ignores unknown switches and bare words (the core
// picks a bare package up itself), and the only error is an unsupported -BAUD rate.
TQvHeadlessArgs QvParseHeadlessArgs(const std::vector<std::string>& args);
// The --help text.
std::string QvHeadlessUsage();

