#include "app/QvCmdLine.h"

#include "framework/CvFormat.h"
#include "framework/CvText.h"
#include "serial/CvComPort.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsSwitch(const std::string& arg)
{
    if (arg.size() < 2)
        return false;
    if (arg[0] == '-')
        return true;
    if (arg[0] != '/')
        return false;
    // "/NAME", "/NAME=value", "/NAME:value": a name of letters only; anything else is a path.
    size_t i = 1;
    while (i < arg.size() && std::isalpha(static_cast<unsigned char>(arg[i])))
        ++i;
    return i > 1 && (i == arg.size() || arg[i] == '=' || arg[i] == ':');
}

std::string SwitchName(const std::string& arg)
{
    std::string name = arg.substr(arg[0] == '-' && arg.size() > 1 && arg[1] == '-' ? 2 : 1);
    const size_t sep = name.find_first_of("=:");
    return CvUpperCase(CvTrim(name.substr(0, sep)));
}

// The rates -BAUD accepts, for the message that refuses another one.
std::string SupportedRates()
{
    std::string text;
    for (int i = br110; i <= br256000; ++i)
        text += (text.empty() ? "" : ", ") + std::to_string(TCvComPort::GetBaudValue(static_cast<TBaudRate>(i)));
    return text;
}

// Adds the ports of one -PORT switch (a comma-separated list); an empty item or a port named
// before is an error.
template <typename TFail>
void AddPorts(const std::string& value, const std::string& arg, std::vector<std::string>& ports, TFail&& fail)
{
    size_t start = 0;
    while (start <= value.size()) {
        const size_t comma = std::min(value.find(',', start), value.size());
        const std::string port = CvTrim(value.substr(start, comma - start));
        if (port.empty())
            fail("The switch \"" + arg + "\" names an empty port.");
        else if (std::find(ports.begin(), ports.end(), port) != ports.end())
            fail("The port \"" + port + "\" is named twice.");
        else
            ports.push_back(port);
        start = comma + 1;
    }
}

} // namespace

TQvHeadlessArgs QvParseHeadlessArgs(const std::vector<std::string>& args)
{
    static const std::vector<std::string> known = {"PORT", "BAUD", "TRACE", "MIN", "LOG", "LOGAUTOSAVE", "LOGENTRIES",
                                                   "WATCH", "RESULTS"};
    static const std::vector<std::string> needValue = {"PORT", "BAUD", "WATCH", "RESULTS"};
    TQvHeadlessArgs out;
    std::vector<std::string> positional;
    std::vector<std::string> switches;
    for (const std::string& arg : args)
        (IsSwitch(arg) ? switches : positional).push_back(arg);

    // A known command first makes a headless run, which refuses what it does not know. Anything
    // else starts the desktop program, which ignores switches and words it does not know (a
    // file manager may pass a package, a script stray switches).
    const std::string first = positional.empty() ? std::string() : CvLowerCase(positional[0]);
    const bool needsFile = first == "program" || first == "config" || first == "inspect";
    const bool headless = needsFile || first == "ports" || first == "info";
    if (headless)
        out.Command = first;

    auto fail = [&out](const std::string& error) {
        if (out.Error.empty())
            out.Error = error;
    };
    for (const std::string& arg : switches) {
        const std::string name = SwitchName(arg);
        const size_t sep = arg.find_first_of("=:");
        const std::string value = sep == std::string::npos ? std::string() : CvTrim(arg.substr(sep + 1));
        if (name == "HELP" || name == "H" || name == "?") {
            out.Help = true;
        } else if (name == "TRACE") {
            out.Trace = true;
        } else if (name == "BAUD" && !value.empty() && TCvComPort::GetBaudRate(value, true) == brCustom) {
            fail(CvFormat("The baud rate \"%s\" is not supported. Supported rates: %s.", value, SupportedRates()));
        } else if (!headless) {
            continue;
        } else if (CvIndexText(name, known) < 0) {
            fail("Unknown switch \"" + arg + "\".");
        } else if (CvIndexText(name, needValue) >= 0 && value.empty()) {
            fail("The switch \"" + arg + "\" needs a value, e.g. -" + name + "=...");
        } else if (name == "PORT") {
            AddPorts(value, arg, out.Ports, fail);
        } else if (name == "WATCH") {
            out.Watch = value;
        } else if (name == "RESULTS") {
            out.Results = value;
        }
    }
    if (!headless)
        return out;
    if (needsFile && positional.size() != 2)
        fail("The command \"" + out.Command + "\" takes one file.");
    else if (!needsFile && positional.size() > 1)
        fail("Unexpected argument \"" + positional[1] + "\".");
    const bool beaconCommand = out.Command == "info" || out.Command == "program" || out.Command == "config";
    if (!out.Watch.empty() && out.Command != "program")
        fail("-WATCH works with the command \"program\" only.");
    else if (!out.Watch.empty() && !out.Ports.empty())
        fail("-WATCH and -PORT cannot be used together: the station programs the ports that appear.");
    if (out.Ports.size() > 1 && !beaconCommand)
        fail("Several ports work with the commands \"info\", \"program\" and \"config\" only.");
    if (!out.Results.empty() && !beaconCommand)
        fail("-RESULTS works with the commands \"info\", \"program\" and \"config\" only.");
    if (needsFile && positional.size() >= 2)
        out.File = positional[1];
    return out;
}

std::string QvHeadlessUsage()
{
    return "Usage: quorvan-programmer [COMMAND [FILE]] [SWITCHES]\n"
           "       quorvan-programmer [FILE.fwx] [SWITCHES]\n"
           "\n"
           "Without a command the desktop program starts. It ignores switches and words it does\n"
           "not know, and selects a FILE.fwx that exists as the firmware file. Commands refuse\n"
           "what they do not know.\n"
           "\n"
           "Commands:\n"
           "  ports               list the serial ports present, one a line\n"
           "  info                connect, read system information and configuration, print\n"
           "  program FILE.fwx    connect and program the firmware package into the beacon\n"
           "  config FILE.ini     write a Beacon Config File into the beacon, then read back\n"
           "  inspect FILE.fwx    load and validate a package without a beacon\n"
           "\n"
           "Switches (\"-\" or \"/\", value after \"=\" or \":\"):\n"
           "  -PORT=NAME          serial port for this run only (a name or any device path);\n"
           "                      several (-PORT=A,B or -PORT=A -PORT=B) serve every beacon at once\n"
           "  -WATCH=PATTERN      program: a production station; programs each beacon whose port\n"
           "                      appears matching PATTERN (a shell glob), until Ctrl-C or SIGTERM\n"
           "  -RESULTS=FILE       append one JSON record per beacon and operation to FILE\n"
           "  -BAUD=RATE          baud rate for this run only, a standard rate from 110 to 256000\n"
           "  -TRACE              every line sent and received to standard error\n"
           "  -LOG=ON|OFF, -LOGAUTOSAVE=MINUTES, -LOGENTRIES=LINES   the log file\n"
           "  -MIN                desktop program: start minimised\n"
           "\n"
           "Every log entry is printed to standard output as it is made. Headless runs do not\n"
           "save the settings file; the desktop program saves it, but never -PORT and -BAUD.\n"
           "Headless runs may work at the same time on different ports, sharing the log file;\n"
           "a port another process holds is refused with status 2. The desktop program runs\n"
           "once at a time; a second one exits with status 5. With several beacons: a live line\n"
           "per beacon on a terminal (otherwise the log lines, each naming its port), then a\n"
           "summary.\n"
           "\n"
           "Exit status:\n"
           "  0  success\n"
           "  1  bad arguments (the desktop program too, for an unsupported -BAUD)\n"
           "  2  the serial port is not available, or was lost during the run (several beacons:\n"
           "     any port; the others still run)\n"
           "  3  the package or configuration file was rejected\n"
           "  4  the beacon refused a request, answered wrongly or timed out (several beacons: any;\n"
           "     a station: any beacon it finished)\n"
           "  5  desktop program: another instance is running\n";
}

