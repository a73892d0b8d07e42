#include "tools/sim/QvSimState.h"

#include "framework/CvFormat.h"
#include "framework/CvFoundation.h"
#include "framework/CvNetworking.h"
#include "framework/CvText.h"
#include "tools/common/QvToolArgs.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

namespace {
using TGet = std::function<std::string(const TQvSimState&)>;
using TSet = std::function<bool(TQvSimState&, std::string_view, std::string&)>;

struct TField {
    std::string Key;
    TGet Get;
    TSet Set;
};

constexpr uint32_t kMaxFlashSize = 64u * 1024 * 1024;
const char* const kBaselineNames[6] = {"10", "20", "21", "30", "31", "32"};
const char* const kPressureTypes[4] = {"PR", "PA", "PAA", "AUX"};

template <typename T>
using TRef = std::function<T&(TQvSimState&)>;

template <typename T>
TSet SetUInt(TRef<T> ref, uint64_t max, std::string what)
{
    return [ref, max, what](TQvSimState& s, std::string_view v, std::string& error) {
        uint64_t n = 0;
        if (!TQvToolArgs::ParseUInt(v, max, n)) {
            error = CvFormat("%s must be a number from 0 to %u (decimal or 0x hex), not \"%s\"", what,
                             static_cast<unsigned long long>(max), std::string(v));
            return false;
        }
        ref(s) = static_cast<T>(n);
        return true;
    };
}

TSet SetHex32(TRef<uint32_t> ref, std::string what)
{
    return [ref, what](TQvSimState& s, std::string_view v, std::string& error) {
        uint64_t n = 0;
        if (!TQvToolArgs::ParseHex(v, 0xFFFFFFFFull, n)) {
            error = CvFormat("%s must be up to 8 hex digits (optionally after 0x), not \"%s\"", what, std::string(v));
            return false;
        }
        ref(s) = static_cast<uint32_t>(n);
        return true;
    };
}

TSet SetBool(TRef<bool> ref, std::string what)
{
    return [ref, what](TQvSimState& s, std::string_view v, std::string& error) {
        if (!TQvToolArgs::ParseBool(v, ref(s))) {
            error = CvFormat("%s must be 1 or 0 (true/false, yes/no), not \"%s\"", what, std::string(v));
            return false;
        }
        return true;
    };
}

TSet SetVersion(TRef<TQvSimFirmware> ref, std::string what)
{
    return [ref, what](TQvSimState& s, std::string_view v, std::string& error) {
        const std::vector<std::string> parts = TQvToolArgs::SplitText(v, '.');
        uint64_t major = 0, minor = 0, build = 0;
        if (parts.size() != 3 || !TQvToolArgs::ParseUInt(parts[0], 0xFF, major)
            || !TQvToolArgs::ParseUInt(parts[1], 0xFF, minor) || !TQvToolArgs::ParseUInt(parts[2], 0xFFFF, build)) {
            error = CvFormat("%s must be MAJOR.MINOR.BUILD (0-255.0-255.0-65535), not \"%s\"", what, std::string(v));
            return false;
        }
        ref(s).Major = static_cast<uint8_t>(major);
        ref(s).Minor = static_cast<uint8_t>(minor);
        ref(s).Build = static_cast<uint16_t>(build);
        return true;
    };
}

std::string Version(const TQvSimFirmware& f)
{
    return CvFormat("%u.%u.%u", f.Major, f.Minor, f.Build);
}

std::string Bool(bool b)
{
    return b ? "1" : "0";
}

std::string Real(float f)
{
    return CvFormat("%.9g", f);
}

bool ParseEui48(std::string_view v, uint64_t& value)
{
    const std::vector<std::string> groups = TQvToolArgs::SplitText(v, v.find(':') != std::string_view::npos ? ':' : '-');
    if (groups.size() != 6)
        return false;
    uint64_t out = 0;
    for (const std::string& g : groups) {
        uint64_t byte = 0;
        if (g.size() != 2 || !TQvToolArgs::ParseHex(g, 0xFF, byte))
            return false;
        out = (out << 8) | byte;
    }
    value = out;
    return true;
}

std::vector<TField> MakeFields()
{
    std::vector<TField> f;
    auto add = [&f](std::string key, TGet get, TSet set) { f.push_back({std::move(key), std::move(get), std::move(set)}); };

    add("Uptime", [](const TQvSimState& s) { return CvFormat("%u", s.Uptime); },
        SetUInt<uint32_t>([](TQvSimState& s) -> uint32_t& { return s.Uptime; }, 0xFFFFFFFFull, "Uptime"));
    add("Section", [](const TQvSimState& s) { return CvFormat("%u", s.Section); },
        SetUInt<uint8_t>([](TQvSimState& s) -> uint8_t& { return s.Section; }, 0xFF, "Section"));
    add("HardwarePartNumber", [](const TQvSimState& s) { return CvFormat("%u", s.Hardware.PartNumber); },
        SetUInt<uint16_t>([](TQvSimState& s) -> uint16_t& { return s.Hardware.PartNumber; }, 0xFFFF, "HardwarePartNumber"));
    add("HardwarePartRevision", [](const TQvSimState& s) { return CvFormat("%u", s.Hardware.PartRevision); },
        SetUInt<uint8_t>([](TQvSimState& s) -> uint8_t& { return s.Hardware.PartRevision; }, 0xFF, "HardwarePartRevision"));
    add("HardwareSerialNumber", [](const TQvSimState& s) { return CvFormat("%u", s.Hardware.SerialNumber); },
        SetUInt<uint32_t>([](TQvSimState& s) -> uint32_t& { return s.Hardware.SerialNumber; }, 0xFFFFFFFFull,
                          "HardwareSerialNumber"));
    add("HardwareFlagsSys", [](const TQvSimState& s) { return CvFormat("0x%04X", s.Hardware.FlagsSys); },
        SetUInt<uint16_t>([](TQvSimState& s) -> uint16_t& { return s.Hardware.FlagsSys; }, 0xFFFF, "HardwareFlagsSys"));
    add("HardwareFlagsUser", [](const TQvSimState& s) { return CvFormat("0x%04X", s.Hardware.FlagsUser); },
        SetUInt<uint16_t>([](TQvSimState& s) -> uint16_t& { return s.Hardware.FlagsUser; }, 0xFFFF, "HardwareFlagsUser"));

    for (const bool boot : {true, false}) {
        const std::string p = boot ? "Boot" : "App";
        const TRef<TQvSimFirmware> fw = [boot](TQvSimState& s) -> TQvSimFirmware& { return boot ? s.Boot : s.App; };
        auto get = [boot](const TQvSimState& s) -> const TQvSimFirmware& { return boot ? s.Boot : s.App; };
        add(p + "Valid", [get](const TQvSimState& s) { return Bool(get(s).Valid); },
            SetBool([fw](TQvSimState& s) -> bool& { return fw(s).Valid; }, p + "Valid"));
        add(p + "PartNumber", [get](const TQvSimState& s) { return CvFormat("%u", get(s).PartNumber); },
            SetUInt<uint16_t>([fw](TQvSimState& s) -> uint16_t& { return fw(s).PartNumber; }, 0xFFFF, p + "PartNumber"));
        add(p + "Version", [get](const TQvSimState& s) { return Version(get(s)); }, SetVersion(fw, p + "Version"));
        add(p + "Checksum", [get](const TQvSimState& s) { return CvFormat("0x%08X", get(s).Checksum); },
            SetHex32([fw](TQvSimState& s) -> uint32_t& { return fw(s).Checksum; }, p + "Checksum"));
    }

    add("HardwareEUI48", [](const TQvSimState& s) { return TCvMacAddress::ToAddress(s.Eui48); },
        [](TQvSimState& s, std::string_view v, std::string& e) {
            if (!ParseEui48(v, s.Eui48)) {
                e = CvFormat("HardwareEUI48 must be six hex pairs like 02-51-56-00-15-A3, not \"%s\"", std::string(v));
                return false;
            }
            return true;
        });
    add("PressureCalId", [](const TQvSimState& s) { return CvFormat("%u", s.Pressure.CalId); },
        SetUInt<uint32_t>([](TQvSimState& s) -> uint32_t& { return s.Pressure.CalId; }, 0xFFFFFFFFull, "PressureCalId"));
    add("PressureCalType",
        [](const TQvSimState& s) {
            return s.Pressure.CalType < 4 ? std::string(kPressureTypes[s.Pressure.CalType])
                                          : CvFormat("%u", s.Pressure.CalType);
        },
        [](TQvSimState& s, std::string_view v, std::string& e) {
            for (uint8_t i = 0; i < 4; ++i)
                if (CvSameText(v, kPressureTypes[i])) {
                    s.Pressure.CalType = i;
                    return true;
                }
            uint64_t n = 0;
            if (!TQvToolArgs::ParseUInt(v, 0xFF, n)) {
                e = CvFormat("PressureCalType must be PR, PA, PAA, AUX or a number 0-255, not \"%s\"", std::string(v));
                return false;
            }
            s.Pressure.CalType = static_cast<uint8_t>(n);
            return true;
        });
    add("PressureCalMin", [](const TQvSimState& s) { return CvFormat("%u", s.Pressure.CalMin); },
        SetUInt<uint16_t>([](TQvSimState& s) -> uint16_t& { return s.Pressure.CalMin; }, 0xFFFF, "PressureCalMin"));
    add("PressureCalMax", [](const TQvSimState& s) { return CvFormat("%u", s.Pressure.CalMax); },
        SetUInt<uint16_t>([](TQvSimState& s) -> uint16_t& { return s.Pressure.CalMax; }, 0xFFFF, "PressureCalMax"));
    add("PressureCalDate",
        [](const TQvSimState& s) {
            return CvFormat("%04u-%02u-%02u", s.Pressure.CalYear, s.Pressure.CalMonth, s.Pressure.CalDay);
        },
        [](TQvSimState& s, std::string_view v, std::string& e) {
            // The fields travel unchecked, so impossible dates (day 0, month 13) are allowed.
            const std::vector<std::string> parts = TQvToolArgs::SplitText(v, '-');
            uint64_t y = 0, m = 0, d = 0;
            if (parts.size() != 3 || !TQvToolArgs::ParseUInt(parts[0], 0xFFFF, y)
                || !TQvToolArgs::ParseUInt(parts[1], 0xFF, m) || !TQvToolArgs::ParseUInt(parts[2], 0xFF, d)) {
                e = CvFormat("PressureCalDate must be YEAR-MONTH-DAY, not \"%s\"", std::string(v));
                return false;
            }
            s.Pressure.CalYear = static_cast<uint16_t>(y);
            s.Pressure.CalMonth = static_cast<uint8_t>(m);
            s.Pressure.CalDay = static_cast<uint8_t>(d);
            return true;
        });
    add("UsblCalValid", [](const TQvSimState& s) { return Bool(s.Usbl.Valid); },
        SetBool([](TQvSimState& s) -> bool& { return s.Usbl.Valid; }, "UsblCalValid"));
    for (int k = 0; k < 6; ++k) {
        const std::string key = std::string("UsblCalBaseline") + kBaselineNames[k];
        // Written and read in the operators' order A, B, C, D; stored D, C, B, A.
        add(key,
            [k](const TQvSimState& s) {
                const float* b = &s.Usbl.Baseline[static_cast<size_t>(4 * k)];
                return CvFormat("%s,%s,%s,%s", Real(b[3]), Real(b[2]), Real(b[1]), Real(b[0]));
            },
            [k, key](TQvSimState& s, std::string_view v, std::string& e) {
                const std::vector<std::string> parts = TQvToolArgs::SplitText(v, ',');
                float abcd[4] = {};
                bool ok = parts.size() == 4;
                for (size_t i = 0; ok && i < 4; ++i)
                    ok = TQvToolArgs::ParseFloat(parts[i], abcd[i]);
                if (!ok) {
                    e = CvFormat("%s must be four real numbers A,B,C,D, not \"%s\"", key, std::string(v));
                    return false;
                }
                float* b = &s.Usbl.Baseline[static_cast<size_t>(4 * k)];
                b[0] = abcd[3];
                b[1] = abcd[2];
                b[2] = abcd[1];
                b[3] = abcd[0];
                return true;
            });
    }
    add("EngineeringKey", [](const TQvSimState& s) { return s.EngKey; },
        [](TQvSimState& s, std::string_view v, std::string& e) {
            for (char c : v)
                if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
                    e = "EngineeringKey must be printable ASCII text";
                    return false;
                }
            s.EngKey = std::string(v);
            return true;
        });
    add("EngineeringEnabled", [](const TQvSimState& s) { return Bool(s.EngEnabled); },
        SetBool([](TQvSimState& s) -> bool& { return s.EngEnabled; }, "EngineeringEnabled"));
    add("FlashSize", [](const TQvSimState& s) { return CvFormat("%u", s.FlashSize); },
        [](TQvSimState& s, std::string_view v, std::string& e) {
            uint64_t n = 0;
            if (!TQvToolArgs::ParseUInt(v, kMaxFlashSize, n) || n == 0) {
                e = CvFormat("FlashSize must be a number of bytes from 1 to %u, not \"%s\"", kMaxFlashSize, std::string(v));
                return false;
            }
            s.FlashSize = static_cast<uint32_t>(n);
            return true;
        });
    return f;
}

const std::vector<TField>& Fields()
{
    static const std::vector<TField> fields = MakeFields();
    return fields;
}
} // namespace

TQvSimState TQvSimState::Defaults()
{
    TQvSimState s;
    s.Uptime = 0;
    s.Section = 1;
    s.Hardware = {1520, 3, 104857, 0x0011, 0x0000};
    s.Boot = {true, 1521, 1, 2, 0, 0x3C5A9E01};
    s.App = {true, 1522, 2, 4, 0, 0x7D21B4C6};
    s.Eui48 = 0x0251560015A3ull;
    s.Pressure = {30211, 1, 0, 200, 12, 6, 2025};
    s.Usbl.Valid = false;
    for (size_t k = 0; k < 6; ++k)
        s.Usbl.Baseline[4 * k + 1] = 1.0f; // neutral: D 0, C 1, B 0, A 0
    s.EngKey = "SEAFLOOR";
    s.EngEnabled = false;
    s.FlashSize = 512 * 1024;
    return s;
}

bool TQvSimState::Set(std::string_view key, std::string_view value, std::string& error)
{
    for (const TField& f : ::Fields())
        if (CvSameText(key, f.Key))
            return f.Set(*this, CvTrim(value), error);
    error = CvFormat("unknown state key \"%s\"", std::string(key));
    return false;
}

std::vector<std::pair<std::string, std::string>> TQvSimState::Fields() const
{
    std::vector<std::pair<std::string, std::string>> out;
    for (const TField& f : ::Fields())
        out.emplace_back(f.Key, f.Get(*this));
    return out;
}

const std::vector<std::string>& TQvSimState::Keys()
{
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> k;
        for (const TField& f : ::Fields())
            k.push_back(f.Key);
        return k;
    }();
    return keys;
}

bool TQvSimState::LoadFile(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = CvFormat("cannot open the state file \"%s\"", path);
        return false;
    }
    TQvSimState next = *this;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::string text = CvTrim(line);
        if (text.empty() || text[0] == '#' || text[0] == ';')
            continue;
        const size_t eq = text.find('=');
        if (eq == std::string::npos) {
            error = CvFormat("%s:%d: expected Key=Value", path, number);
            return false;
        }
        std::string why;
        if (!next.Set(CvTrim(std::string_view(text).substr(0, eq)), std::string_view(text).substr(eq + 1), why)) {
            error = CvFormat("%s:%d: %s", path, number, why);
            return false;
        }
    }
    if (in.bad()) {
        error = CvFormat("cannot read the state file \"%s\"", path);
        return false;
    }
    *this = next;
    return true;
}

bool TQvSimState::SaveFile(const std::string& path, std::string& error) const
{
    std::ostringstream text;
    text << "# Simulated beacon state (quorvan-beacon-sim)\n";
    for (const auto& [key, value] : Fields())
        text << key << '=' << value << '\n';
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text.str();
        out.flush();
        if (!out) {
            error = CvFormat("cannot write the state file \"%s\"", temp);
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = CvFormat("cannot replace the state file \"%s\"", path);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}
