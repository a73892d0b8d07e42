#include "app/QvCmdLine.h"

#include "framework/CvText.h"

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

} // namespace

TQvHeadlessArgs QvParseHeadlessArgs(const std::vector<std::string>& args)
{
    static const std::vector<std::string> known = {"PORT", "BAUD", "TRACE", "MIN", "LOG", "LOGAUTOSAVE", "LOGENTRIES"};
    TQvHeadlessArgs out;
    std::vector<std::string> positional;
    for (const std::string& arg : args) {
        if (!IsSwitch(arg)) {
            positional.push_back(arg);
            continue;
        }
        const std::string name = SwitchName(arg);
        if (name == "HELP" || name == "H" || name == "?") {
            out.Help = true;
        } else if (name == "TRACE") {
            out.Trace = true;
        } else if (CvIndexText(name, known) < 0) {
            out.Error = "Unknown switch \"" + arg + "\".";
        } else if ((name == "PORT" || name == "BAUD") && arg.find_first_of("=:") == std::string::npos) {
            out.Error = "The switch \"" + arg + "\" needs a value, e.g. -" + name + "=...";
        }
    }
    if (!positional.empty())
        out.Command = CvLowerCase(positional[0]);
    const bool needsFile = out.Command == "program" || out.Command == "config" || out.Command == "inspect";
    const bool known_command = out.Command.empty() || out.Command == "ports" || out.Command == "info" || needsFile;
    if (out.Error.empty() && !known_command)
        out.Error = "Unknown command \"" + positional[0] + "\".";
    else if (out.Error.empty() && needsFile && positional.size() != 2)
        out.Error = "The command \"" + out.Command + "\" takes one file.";
    else if (out.Error.empty() && !needsFile && positional.size() > 1)
        out.Error = "Unexpected argument \"" + positional[1] + "\".";
    if (needsFile && positional.size() >= 2)
        out.File = positional[1];
    return out;
}

std::string QvHeadlessUsage()
{
    return "Usage: quorvan-programmer [COMMAND [FILE]] [SWITCHES]\n"
           "\n"
           "Without a command the desktop program starts.\n"
           "\n"
           "Commands:\n"
           "  ports               list the serial ports present, one a line\n"
           "  info                connect, read system information and configuration, print\n"
           "  program FILE.fwx    connect and program the firmware package into the beacon\n"
           "  config FILE.ini     write a Beacon Config File into the beacon, then read back\n"
           "  inspect FILE.fwx    load and validate a package without a beacon\n"
           "\n"
           "Switches (\"-\" or \"/\", value after \"=\" or \":\"):\n"
           "  -PORT=NAME          serial port for this run (a name or any device path)\n"
           "  -BAUD=RATE          baud rate for this run\n"
           "  -TRACE              every line sent and received to standard error\n"
           "  -LOG=ON|OFF, -LOGAUTOSAVE=MINUTES, -LOGENTRIES=LINES   the log file\n"
           "  -MIN                desktop program: start minimised\n"
           "\n"
           "Every log entry is printed to standard output as it is made. Headless runs do not\n"
           "save the settings file. One instance at a time uses a settings and log file; a\n"
           "second one exits with status 5.\n"
           "\n"
           "Exit status:\n"
           "  0  success\n"
           "  1  bad arguments\n"
           "  2  the serial port is not available\n"
           "  3  the package or configuration file was rejected\n"
           "  4  the beacon refused, answered wrongly or timed out\n"
           "  5  another instance is running\n";
}

