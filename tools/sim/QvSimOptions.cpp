#include "tools/sim/QvSimOptions.h"

#include "framework/CvFormat.h"
#include "framework/CvText.h"
#include "tools/common/QvToolArgs.h"

#include <sys/stat.h>

namespace {
struct TStateOption {
    const char* Option;
    const char* Key;
    const char* Help;
};

const TStateOption kStateOptions[] = {
    {"part", "HardwarePartNumber", "N: hardware part number (0-65535)"},
    {"revision", "HardwarePartRevision", "N: hardware revision (0-255)"},
    {"serial", "HardwareSerialNumber", "N: serial number"},
    {"flags-sys", "HardwareFlagsSys", "N: system flags (16 bits)"},
    {"flags-user", "HardwareFlagsUser", "N: user flags (16 bits)"},
    {"boot-valid", "BootValid", "0|1: boot section valid"},
    {"boot-part", "BootPartNumber", "N: boot section part number"},
    {"boot-version", "BootVersion", "M.m.b: boot section version"},
    {"boot-checksum", "BootChecksum", "HEX: boot section checksum"},
    {"app-valid", "AppValid", "0|1: application section valid (also sets the running section)"},
    {"app-part", "AppPartNumber", "N: application part number"},
    {"app-version", "AppVersion", "M.m.b: application version"},
    {"app-checksum", "AppChecksum", "HEX: application checksum"},
    {"eui48", "HardwareEUI48", "AA-BB-CC-DD-EE-FF: hardware address"},
    {"pressure-id", "PressureCalId", "N: pressure calibration id"},
    {"pressure-type", "PressureCalType", "PR|PA|PAA|AUX|N: pressure calibration type"},
    {"pressure-min", "PressureCalMin", "BAR: lowest pressure (whole bar)"},
    {"pressure-max", "PressureCalMax", "BAR: highest pressure (whole bar)"},
    {"pressure-date", "PressureCalDate", "Y-M-D: calibration date (sent unchecked)"},
    {"usbl-valid", "UsblCalValid", "0|1: USBL calibration valid"},
    {"uptime", "Uptime", "S: uptime in seconds at start"},
    {"section", "Section", "N: running section (0 boot, 1 application)"},
    {"key", "EngineeringKey", "TEXT: engineering key (first 8 characters count)"},
    {"engineering", "EngineeringEnabled", "0|1: engineering access on at start"},
    {"flash-size", "FlashSize", "BYTES: flash available to the application"},
};

std::vector<TQvToolOption> Options()
{
    std::vector<TQvToolOption> o = {
        {"help", false, "show this help"},
        {"device", true, "PATH: attach to this serial device instead of opening a pseudo-terminal"},
        {"link", true, "PATH: also make this symbolic link to the pseudo-terminal"},
        {"state", true, "FILE: load the beacon state from FILE (when it exists) and save every change"},
        {"verbose", false, "log every line received and sent, with a time stamp, to standard error"},
        {"baud", true, "N: read and write no faster than N baud (10 bits a character); also the device's speed"},
        {"reboot-ms", true, "MS: silence after an update acknowledgement (default 3000)"},
        {"accept-any-checksum", false, "accept an update whatever the image checksum"},
    };
    for (const TStateOption& s : kStateOptions)
        o.push_back({s.Option, true, s.Help});
    o.push_back({"usbl-baseline", true, "K=A,B,C,D: USBL baseline K (10, 20, 21, 30, 31, 32); repeatable"});
    o.push_back({"set", true, "KEY=VALUE: any state-file key; repeatable"});
    o.push_back({"drop", true, "SEL: do not answer the selected command(s); repeatable"});
    o.push_back({"status", true, "SEL=STATUS: answer the selected command(s) with STATUS; repeatable"});
    o.push_back({"corrupt", true, "SEL: corrupt the checksum of the selected reply(s); repeatable"});
    o.push_back({"close-at", true, "SEL: close the device when the selected command arrives; repeatable"});
    o.push_back({"noise", true, "N: N random bytes (never \"$\") before every reply"});
    o.push_back({"chunk", true, "SIZE[:MS]: split replies into SIZE-byte chunks, MS apart (default 5)"});
    o.push_back({"no-return", false, "never come back after an update"});
    o.push_back({"poll-answer", true, "N: after an update answer identification requests from the N-th on"});
    o.push_back({"update-invalid", false, "an accepted update leaves the application not valid"});
    o.push_back({"update-checksum", true, "HEX: an accepted update leaves this application checksum"});
    o.push_back({"seed", true, "N: seed of the noise generator (default 1)"});
    return o;
}

bool Number(const TQvToolArg& a, uint64_t min, uint64_t max, uint64_t& value, std::string& error)
{
    if (!TQvToolArgs::ParseUInt(a.Value, max, value) || value < min) {
        error = CvFormat("--%s takes a number from %u to %u, not \"%s\"", a.Name, static_cast<unsigned long long>(min),
                         static_cast<unsigned long long>(max), a.Value);
        return false;
    }
    return true;
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}
} // namespace

std::string TQvSimOptions::Usage()
{
    return "Usage: quorvan-beacon-sim [options]\n"
           "Simulates a Quorvan beacon on a pseudo-terminal (its path is the first line of standard\n"
           "output) or on a serial device. Runs until interrupted (SIGINT, SIGTERM).\n\n"
           "SEL selects commands or replies: N (the N-th of any kind), KIND (every one) or KIND:N;\n"
           "KIND is SYS_INFO, CONFIG_GET, SYS_ENGINEERING, PROG_INIT, PROG_BLOCK, PROG_UPDATE or an\n"
           "identifier such as 0x0E. STATUS is a name such as PROG_FLASH_ERROR or a number.\n\n"
           "The default beacon: part 1520, revision 3, serial 104857, engineering key SEAFLOOR,\n"
           "512 KiB of flash, a valid application; it accepts examples/demo.fwx. Numbers are decimal\n"
           "or 0x hex; checksums are hex.\n\n"
           "Options:\n"
        + TQvToolArgs::Usage(Options());
}

bool TQvSimOptions::Parse(const std::vector<std::string>& args, TQvSimOptions& out, std::string& error)
{
    std::vector<TQvToolArg> list;
    if (!TQvToolArgs::Split(args, Options(), list, error))
        return false;
    TQvSimOptions o;
    TQvSimState scratch = TQvSimState::Defaults(); // checks every state value as it comes
    bool appValidGiven = false, sectionGiven = false;
    auto setState = [&](const std::string& option, const std::string& key, const std::string& value) {
        std::string why;
        if (!scratch.Set(key, value, why)) {
            error = CvFormat("--%s: %s", option, why);
            return false;
        }
        appValidGiven = appValidGiven || CvSameText(key, "AppValid");
        sectionGiven = sectionGiven || CvSameText(key, "Section");
        o.StateSets.emplace_back(key, value);
        return true;
    };

    for (const TQvToolArg& a : list) {
        uint64_t n = 0;
        const std::string& name = a.Name;
        if (name.empty()) {
            error = CvFormat("unexpected argument \"%s\"", a.Value);
            return false;
        }
        if (name == "help") {
            o.Help = true;
        } else if (name == "device") {
            o.Device = a.Value;
        } else if (name == "link") {
            o.Link = a.Value;
        } else if (name == "state") {
            o.StateFile = a.Value;
        } else if (name == "verbose") {
            o.Verbose = true;
        } else if (name == "baud") {
            if (!Number(a, 50, 4000000, n, error))
                return false;
            o.Config.Baud = static_cast<uint32_t>(n);
            o.BaudGiven = true;
        } else if (name == "reboot-ms") {
            if (!Number(a, 0, 600000, n, error))
                return false;
            o.Config.RebootMs = static_cast<uint32_t>(n);
        } else if (name == "accept-any-checksum") {
            o.Config.AcceptAnyChecksum = true;
        } else if (name == "usbl-baseline") {
            const size_t eq = a.Value.find('=');
            const std::string k = CvTrim(a.Value.substr(0, eq));
            if (eq == std::string::npos || (k != "10" && k != "20" && k != "21" && k != "30" && k != "31" && k != "32")) {
                error = CvFormat("--usbl-baseline takes K=A,B,C,D with K one of 10, 20, 21, 30, 31, 32, not \"%s\"",
                                 a.Value);
                return false;
            }
            if (!setState(name, "UsblCalBaseline" + k, a.Value.substr(eq + 1)))
                return false;
        } else if (name == "set") {
            const size_t eq = a.Value.find('=');
            if (eq == std::string::npos) {
                error = CvFormat("--set takes KEY=VALUE, not \"%s\"", a.Value);
                return false;
            }
            if (!setState(name, CvTrim(a.Value.substr(0, eq)), a.Value.substr(eq + 1)))
                return false;
        } else if (name == "drop" || name == "corrupt" || name == "close-at") {
            TQvSimSelector sel;
            std::string why;
            if (!TQvSimSelector::Parse(a.Value, sel, why)) {
                error = CvFormat("--%s: %s", name, why);
                return false;
            }
            TQvSimFaults& f = o.Config.Faults;
            (name == "drop" ? f.Drop : name == "corrupt" ? f.Corrupt : f.CloseAt).push_back(sel);
        } else if (name == "status") {
            TQvSimStatusRule rule;
            std::string why;
            if (!TQvSimStatusRule::Parse(a.Value, rule, why)) {
                error = CvFormat("--status: %s", why);
                return false;
            }
            o.Config.Faults.Status.push_back(rule);
        } else if (name == "noise") {
            if (!Number(a, 0, 4096, n, error))
                return false;
            o.Config.Faults.NoiseBytes = static_cast<uint32_t>(n);
        } else if (name == "chunk") {
            const std::vector<std::string> parts = TQvToolArgs::SplitText(a.Value, ':');
            uint64_t size = 0, pause = 5;
            if (parts.size() > 2 || !TQvToolArgs::ParseUInt(parts[0], 65535, size) || size == 0
                || (parts.size() == 2 && !TQvToolArgs::ParseUInt(parts[1], 60000, pause))) {
                error = CvFormat("--chunk takes SIZE[:MS] (SIZE 1-65535, MS 0-60000), not \"%s\"", a.Value);
                return false;
            }
            o.Config.Faults.ChunkSize = static_cast<uint32_t>(size);
            o.Config.Faults.ChunkPauseMs = static_cast<uint32_t>(pause);
        } else if (name == "no-return") {
            o.Config.Faults.NoReturn = true;
        } else if (name == "poll-answer") {
            if (!Number(a, 1, 1000, n, error))
                return false;
            o.Config.Faults.PollAnswer = static_cast<uint32_t>(n);
        } else if (name == "update-invalid") {
            o.Config.Faults.UpdateInvalid = true;
        } else if (name == "update-checksum") {
            // Checked and converted as the state's own checksums are.
            TQvSimState check = TQvSimState::Defaults();
            std::string why;
            if (!check.Set("AppChecksum", a.Value, why)) {
                error = CvFormat("--update-checksum: %s", why);
                return false;
            }
            o.Config.Faults.UpdateChecksum = check.App.Checksum;
        } else if (name == "seed") {
            if (!Number(a, 0, 0xFFFFFFFFull, n, error))
                return false;
            o.Config.Faults.Seed = static_cast<uint32_t>(n);
        } else {
            bool found = false;
            for (const TStateOption& s : kStateOptions)
                if (name == s.Option) {
                    if (!setState(name, s.Key, a.Value))
                        return false;
                    found = true;
                }
            if (!found) {
                error = CvFormat("option --%s is not handled", name); // table and handlers out of step
                return false;
            }
        }
    }
    // A beacon told its application is invalid runs its boot section, unless told otherwise.
    if (appValidGiven && !sectionGiven)
        o.StateSets.emplace_back("Section", scratch.App.Valid ? "1" : "0");
    if (!o.Device.empty() && !o.Link.empty()) {
        error = "--link applies to the pseudo-terminal only, not to --device";
        return false;
    }
    o.Config.StateFile = o.StateFile;
    out = std::move(o);
    return true;
}

bool TQvSimOptions::Resolve(TQvSimConfig& config, std::string& error) const
{
    TQvSimConfig c = Config;
    c.State = TQvSimState::Defaults();
    if (!StateFile.empty() && FileExists(StateFile) && !c.State.LoadFile(StateFile, error))
        return false;
    for (const auto& [key, value] : StateSets)
        if (!c.State.Set(key, value, error))
            return false;
    config = std::move(c);
    return true;
}
