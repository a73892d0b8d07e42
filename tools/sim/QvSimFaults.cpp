#include "tools/sim/QvSimFaults.h"

#include "framework/CvFormat.h"
#include "framework/CvText.h"
#include "tools/common/QvToolArgs.h"
#include "tools/sim/QvSimDefs.h"

bool TQvSimSelector::Matches(uint8_t kind, uint32_t countOfKind, uint32_t countAll) const
{
    if (Kind < 0)
        return Occurrence == 0 || Occurrence == countAll;
    if (Kind != kind)
        return false;
    return Occurrence == 0 || Occurrence == countOfKind;
}

std::string TQvSimSelector::Text() const
{
    if (Kind < 0)
        return Occurrence == 0 ? std::string("every command") : CvFormat("command %u", Occurrence);
    const std::string name = TQvSimDefs::CmdName(static_cast<uint8_t>(Kind));
    return Occurrence == 0 ? "every " + name : CvFormat("%s %u", name, Occurrence);
}

bool TQvSimSelector::Parse(std::string_view text, TQvSimSelector& sel, std::string& error)
{
    const std::vector<std::string> parts = TQvToolArgs::SplitText(text, ':');
    TQvSimSelector out;
    uint64_t n = 0;
    bool ok = false;
    if (parts.size() == 1 && !parts[0].empty() && parts[0].find_first_not_of("0123456789") == std::string::npos) {
        ok = TQvToolArgs::ParseUInt(parts[0], 0xFFFFFFFFull, n) && n > 0;
        out.Occurrence = static_cast<uint32_t>(n);
    } else if (parts.size() == 1 || parts.size() == 2) {
        uint8_t id = 0;
        ok = TQvSimDefs::CmdFromText(parts[0], id);
        out.Kind = id;
        if (ok && parts.size() == 2) {
            ok = TQvToolArgs::ParseUInt(parts[1], 0xFFFFFFFFull, n) && n > 0;
            out.Occurrence = static_cast<uint32_t>(n);
        }
    }
    if (!ok) {
        error = CvFormat("bad selector \"%s\": use N, KIND or KIND:N (KIND a command name such as PROG_BLOCK "
                         "or an identifier such as 0x0E; N counts from 1)",
                         std::string(text));
        return false;
    }
    sel = out;
    return true;
}

bool TQvSimStatusRule::Parse(std::string_view text, TQvSimStatusRule& rule, std::string& error)
{
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
        error = CvFormat("bad status rule \"%s\": use SELECTOR=STATUS, e.g. PROG_BLOCK:3=PROG_FLASH_ERROR",
                         std::string(text));
        return false;
    }
    TQvSimStatusRule out;
    if (!TQvSimSelector::Parse(CvTrim(text.substr(0, eq)), out.Selector, error))
        return false;
    if (out.Selector.Kind >= 0 && !TQvSimDefs::CmdHasStatus(static_cast<uint8_t>(out.Selector.Kind))) {
        error = CvFormat("%s replies carry no status byte", TQvSimDefs::CmdName(static_cast<uint8_t>(out.Selector.Kind)));
        return false;
    }
    if (!TQvSimDefs::StatusFromText(CvTrim(text.substr(eq + 1)), out.Status)) {
        error = CvFormat("bad status \"%s\": use a name such as PROG_FLASH_ERROR or a number 0-255",
                         std::string(text.substr(eq + 1)));
        return false;
    }
    rule = out;
    return true;
}

bool TQvSimFaults::Any() const
{
    return !Drop.empty() || !Status.empty() || !Corrupt.empty() || !CloseAt.empty() || NoiseBytes > 0
        || ChunkSize > 0 || NoReturn || PollAnswer > 0 || UpdateInvalid || UpdateChecksum.has_value();
}
