#include "tools/sim/QvSimBeacon.h"

#include "framework/CvFormat.h"
#include "framework/CvFoundation.h"
#include "tools/sim/QvSimDefs.h"

#include <cstring>
#include <stdexcept>

namespace {
// Little-endian field writer for the replies.
struct TWriter {
    std::vector<uint8_t> Bytes;

    explicit TWriter(uint8_t id) { Bytes.push_back(id); }
    void U8(uint8_t v) { Bytes.push_back(v); }
    void Bool(bool v) { Bytes.push_back(v ? 0xFF : 0x00); }
    void U16(uint16_t v)
    {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v)
    {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void F32(float f)
    {
        uint32_t bits = 0;
        std::memcpy(&bits, &f, sizeof bits);
        U32(bits);
    }
};

// Little-endian reads from a request; the caller checks the length first.
uint16_t U16At(const std::vector<uint8_t>& b, size_t i)
{
    return static_cast<uint16_t>(b[i] | (b[i + 1] << 8));
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t i)
{
    return static_cast<uint32_t>(U16At(b, i)) | (static_cast<uint32_t>(U16At(b, i + 2)) << 16);
}

float F32At(const std::vector<uint8_t>& b, size_t i)
{
    const uint32_t bits = U32At(b, i);
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void WriteFirmware(TWriter& w, const TQvSimFirmware& f)
{
    w.Bool(f.Valid);
    w.U16(f.PartNumber);
    w.U8(f.Major);
    w.U8(f.Minor);
    w.U16(f.Build);
    w.U32(f.Checksum);
}

bool AnyMatch(const std::vector<TQvSimSelector>& sels, uint8_t kind, uint32_t ofKind, uint32_t all)
{
    for (const TQvSimSelector& s : sels)
        if (s.Matches(kind, ofKind, all))
            return true;
    return false;
}
} // namespace

TQvSimBeacon::TQvSimBeacon(const TQvSimConfig& config)
    : fConfig(config)
    , fState(config.State)
    , fRebootTimer(config.RebootMs ? config.RebootMs : 1)
{
    fLink.SetBaud(config.Baud);
    fLink.SetChunking(config.Faults.ChunkSize, config.Faults.ChunkPauseMs);
    fLink.SetNoise(config.Faults.NoiseBytes, config.Faults.Seed);
    fLink.SetOnDeliver(TCvEvent<TQvSimLinkDataParams>(this, &TQvSimBeacon::OnDeliver));
    fLink.SetOnOutput(TCvEvent<TQvSimLinkDataParams>(this, &TQvSimBeacon::OnLinkOutput));
    fLink.SetOnDrained(TCvEvent<TQvSimLinkParams>(this, &TQvSimBeacon::OnDrained));
    fRebootTimer.SetOnTimer(TCvEvent<TCvTimerParams>(this, &TQvSimBeacon::OnRebootTimer));
    fBootMs = NowMs();
}

TQvSimBeacon::~TQvSimBeacon() = default;

uint64_t TQvSimBeacon::NowMs() const
{
    TCvTimerService* service = TCvTimerService::Current();
    if (!service)
        throw std::logic_error("TQvSimBeacon: no timer service installed");
    return service->NowMs();
}

uint32_t TQvSimBeacon::Uptime() const
{
    return fState.Uptime + static_cast<uint32_t>((NowMs() - fBootMs) / 1000);
}

TQvSimState TQvSimBeacon::State() const
{
    TQvSimState s = fState;
    s.Uptime = Uptime();
    return s;
}

bool TQvSimBeacon::SaveState(std::string& error) const
{
    if (fConfig.StateFile.empty())
        return true;
    return fState.SaveFile(fConfig.StateFile, error);
}

void TQvSimBeacon::Changed()
{
    std::string error;
    if (!SaveState(error))
        Log(SIMLOG_ERROR, error);
}

void TQvSimBeacon::Log(EQvSimLogKind kind, const std::string& text)
{
    if (!fOnLog)
        return;
    TQvSimLogParams p{this, kind, text};
    fOnLog(p);
}

void TQvSimBeacon::Input(const uint8_t* data, size_t count)
{
    if (fClosed)
        return;
    fLink.Receive(data, count);
}

void TQvSimBeacon::Input(std::string_view text)
{
    Input(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void TQvSimBeacon::OnDeliver(TQvSimLinkDataParams& p)
{
    TQvSimLineResult line;
    for (size_t i = 0; i < p.Count && !fClosed; ++i)
        if (fReader.Feed(p.Data[i], line))
            HandleLine(line);
}

void TQvSimBeacon::OnLinkOutput(TQvSimLinkDataParams& p)
{
    if (fClosed)
        return;
    TQvSimOutputParams out{this, p.Data, p.Count};
    fOnOutput(out);
}

void TQvSimBeacon::HandleLine(const TQvSimLineResult& line)
{
    if (line.Status != SIMLINE_OK) {
        Log(SIMLOG_RX, CvFormat("%s (ignored: %s)", line.Text, TQvSimLine::StatusText(line.Status)));
        return;
    }
    const uint8_t id = line.Bytes[0];
    if (fDead) {
        Log(SIMLOG_RX, line.Text + " (ignored: the beacon does not come back)");
        return;
    }
    if (id == SIMCMD_SYS_INFO && fPollActive)
        ++fPollCount;
    if (fSilent) {
        Log(SIMLOG_RX, line.Text + " (ignored: rebooting)");
        return;
    }
    Log(SIMLOG_RX, line.Text);

    const uint32_t all = ++fCommands;
    const uint32_t ofKind = ++fCommandsOfKind[id];
    const TQvSimFaults& faults = fConfig.Faults;
    if (AnyMatch(faults.CloseAt, id, ofKind, all)) {
        CloseDevice(CvFormat("closing the device at %s %u (command %u)", TQvSimDefs::CmdName(id), ofKind, all));
        return;
    }
    if (AnyMatch(faults.Drop, id, ofKind, all)) {
        Log(SIMLOG_NOTE, CvFormat("fault: not answering %s %u (command %u)", TQvSimDefs::CmdName(id), ofKind, all));
        return;
    }
    if (id == SIMCMD_SYS_INFO && fPollActive) {
        if (fPollCount < faults.PollAnswer) {
            Log(SIMLOG_NOTE, CvFormat("fault: not answering identification request %u after the update", fPollCount));
            return;
        }
        fPollActive = false;
    }
    if (TQvSimDefs::CmdHasStatus(id))
        for (const TQvSimStatusRule& rule : faults.Status)
            if (rule.Selector.Matches(id, ofKind, all)) {
                Log(SIMLOG_NOTE, CvFormat("fault: answering %s %u with status %s", TQvSimDefs::CmdName(id), ofKind,
                                          TQvSimDefs::StatusName(rule.Status)));
                if (id == SIMCMD_SYS_ENGINEERING)
                    ReplyEngineering(rule.Status, line.Bytes.size() > 1 ? line.Bytes[1] : 0);
                else
                    ReplyStatus(id, rule.Status);
                return;
            }
    Execute(line.Bytes);
}

void TQvSimBeacon::Execute(const std::vector<uint8_t>& cmd)
{
    switch (cmd[0]) {
    case SIMCMD_SYS_INFO: DoSysInfo(); break;
    case SIMCMD_CONFIG_GET: DoConfigGet(); break;
    case SIMCMD_SYS_ENGINEERING: DoEngineering(cmd); break;
    case SIMCMD_PROG_INIT: DoProgInit(cmd); break;
    case SIMCMD_PROG_BLOCK: DoProgBlock(cmd); break;
    case SIMCMD_PROG_UPDATE: DoProgUpdate(cmd); break;
    default: Log(SIMLOG_NOTE, CvFormat("command 0x%02X not supported; no reply", static_cast<unsigned>(cmd[0]))); break;
    }
}

void TQvSimBeacon::Reply(const std::vector<uint8_t>& bytes)
{
    const uint8_t id = bytes[0];
    const uint32_t all = ++fReplies;
    const uint32_t ofKind = ++fRepliesOfKind[id];
    const bool corrupt = AnyMatch(fConfig.Faults.Corrupt, id, ofKind, all);
    const std::string line = TQvSimLine::Encode('$', bytes, corrupt);
    Log(SIMLOG_TX, line.substr(0, line.size() - 2) + (corrupt ? " (fault: checksum corrupted)" : ""));
    fLink.Send(line);
}

void TQvSimBeacon::ReplyStatus(uint8_t id, uint8_t status)
{
    TWriter w(id);
    w.U8(status);
    Reply(w.Bytes);
}

void TQvSimBeacon::ReplyEngineering(uint8_t status, uint8_t action)
{
    TWriter w(SIMCMD_SYS_ENGINEERING);
    w.U8(status);
    w.U8(action);
    Reply(w.Bytes);
}

void TQvSimBeacon::DoSysInfo()
{
    TWriter w(SIMCMD_SYS_INFO);
    w.U32(Uptime());
    w.U8(fState.Section);
    w.U16(fState.Hardware.PartNumber);
    w.U8(fState.Hardware.PartRevision);
    w.U32(fState.Hardware.SerialNumber);
    w.U16(fState.Hardware.FlagsSys);
    w.U16(fState.Hardware.FlagsUser);
    WriteFirmware(w, fState.Boot);
    WriteFirmware(w, fState.App);
    Reply(w.Bytes);
}

void TQvSimBeacon::DoConfigGet()
{
    TWriter w(SIMCMD_CONFIG_GET);
    for (int i = 0; i < 6; ++i)
        w.U8(static_cast<uint8_t>(fState.Eui48 >> (8 * i))); // least significant first
    const TQvSimPressure& p = fState.Pressure;
    w.U32(p.CalId);
    w.U8(p.CalType);
    w.U16(p.CalMin);
    w.U16(p.CalMax);
    w.U8(p.CalDay);
    w.U8(p.CalMonth);
    w.U16(p.CalYear);
    w.Bool(fState.Usbl.Valid);
    for (float f : fState.Usbl.Baseline)
        w.F32(f);
    Reply(w.Bytes);
}

void TQvSimBeacon::DoEngineering(const std::vector<uint8_t>& cmd)
{
    if (cmd.size() < 2) {
        ReplyEngineering(SIMST_CMD_PARAM_MISSING, 0);
        return;
    }
    const uint8_t action = cmd[1];
    const bool privileged = action == SIMENG_HARDWARE || action == SIMENG_USBL_CAL;
    if (privileged && !fState.EngEnabled) {
        Log(SIMLOG_NOTE, CvFormat("engineering action %u refused: engineering access is off", action));
        ReplyEngineering(SIMST_FAIL, action);
        return;
    }
    auto needs = [&](size_t size) {
        if (cmd.size() >= size)
            return true;
        ReplyEngineering(SIMST_CMD_PARAM_MISSING, action);
        return false;
    };
    switch (action) {
    case SIMENG_QUERY:
        ReplyEngineering(fState.EngEnabled ? SIMST_OK : SIMST_FAIL, action);
        break;
    case SIMENG_ENABLE: {
        if (!needs(10))
            return;
        std::vector<uint8_t> key(fState.EngKey.begin(), fState.EngKey.end());
        key.resize(8, 0);
        const bool match = !fState.EngKey.empty() && std::equal(key.begin(), key.end(), cmd.begin() + 2);
        if (match) {
            fState.EngEnabled = true;
            Changed();
        } else {
            Log(SIMLOG_NOTE, "engineering enable refused: wrong key");
        }
        ReplyEngineering(match ? SIMST_OK : SIMST_FAIL, action);
        break;
    }
    case SIMENG_HARDWARE:
        if (!needs(13))
            return;
        fState.Hardware.PartNumber = U16At(cmd, 2);
        fState.Hardware.PartRevision = cmd[4];
        fState.Hardware.SerialNumber = U32At(cmd, 5);
        fState.Hardware.FlagsSys = U16At(cmd, 9);
        fState.Hardware.FlagsUser = U16At(cmd, 11);
        Changed();
        ReplyEngineering(SIMST_OK, action);
        break;
    case SIMENG_USER_FLAGS:
        if (!needs(4))
            return;
        fState.Hardware.FlagsUser = U16At(cmd, 2);
        Changed();
        ReplyEngineering(SIMST_OK, action);
        break;
    case SIMENG_USBL_CAL:
        if (!needs(99))
            return;
        fState.Usbl.Valid = cmd[2] != 0;
        for (size_t i = 0; i < 24; ++i)
            fState.Usbl.Baseline[i] = F32At(cmd, 3 + 4 * i);
        Changed();
        ReplyEngineering(SIMST_OK, action);
        break;
    default:
        ReplyEngineering(SIMST_CMD_PARAM_INVALID, action);
        break;
    }
}

void TQvSimBeacon::DoProgInit(const std::vector<uint8_t>& cmd)
{
    // Any initialisation attempt ends an earlier session.
    fSession = TSession();
    if (cmd.size() < TQvSimDefs::ProgInitRequestSize) {
        ReplyStatus(SIMCMD_PROG_INIT, SIMST_CMD_PARAM_MISSING);
        return;
    }
    const uint8_t section = cmd[1];
    const uint16_t part = U16At(cmd, 2);
    const uint8_t revMin = cmd[4];
    const uint8_t revMax = cmd[5];
    const uint32_t serial = U32At(cmd, 6);
    const uint32_t length = U32At(cmd, 11);
    const uint32_t checksum = U32At(cmd, 15);
    const TQvSimHardware& hw = fState.Hardware;
    // A zero part or serial number, and a revision range of 0 to 0, stand for "any".
    const bool revisionFits = (revMin == 0 && revMax == 0) || (revMin <= hw.PartRevision && hw.PartRevision <= revMax);
    uint8_t status = SIMST_OK;
    std::string why;
    if (section != 1) {
        status = SIMST_PROG_SECTION_ERROR;
        why = CvFormat("section %u is not the application section", section);
    } else if ((part != 0 && part != hw.PartNumber) || !revisionFits || (serial != 0 && serial != hw.SerialNumber)) {
        status = SIMST_PROG_FIRMWARE_ERROR;
        why = CvFormat("firmware for part %u rev %u-%u serial %u does not fit part %u rev %u serial %u", part, revMin,
                       revMax, serial, hw.PartNumber, hw.PartRevision, hw.SerialNumber);
    } else if (length == 0 || length > fState.FlashSize) {
        status = SIMST_PROG_LENGTH_ERROR;
        why = CvFormat("length %u does not fit the flash of %u bytes", length, fState.FlashSize);
    }
    if (status != SIMST_OK) {
        Log(SIMLOG_NOTE, "programming refused: " + why);
        ReplyStatus(SIMCMD_PROG_INIT, status);
        return;
    }
    fSession.Open = true;
    fSession.Length = length;
    fSession.Checksum = checksum;
    fSession.Image.reserve(length);
    fState.App.Valid = false; // the application is being erased
    Changed();
    Log(SIMLOG_NOTE, CvFormat("programming started: %u bytes, checksum 0x%08X", length, checksum));
    ReplyStatus(SIMCMD_PROG_INIT, SIMST_OK);
}

void TQvSimBeacon::DoProgBlock(const std::vector<uint8_t>& cmd)
{
    if (!fSession.Open) {
        ReplyStatus(SIMCMD_PROG_BLOCK, SIMST_PROG_FIRMWARE_ERROR);
        return;
    }
    if (cmd.size() < 3) {
        ReplyStatus(SIMCMD_PROG_BLOCK, SIMST_CMD_PARAM_MISSING);
        return;
    }
    const size_t declared = U16At(cmd, 1);
    if (cmd.size() - 3 < declared) {
        ReplyStatus(SIMCMD_PROG_BLOCK, SIMST_PROG_DATA_ERROR);
        return;
    }
    const size_t room = fSession.Length - fSession.Image.size();
    const size_t take = declared < room ? declared : room;
    fSession.Image.insert(fSession.Image.end(), cmd.begin() + 3, cmd.begin() + 3 + static_cast<std::ptrdiff_t>(take));
    if (take < declared) {
        Log(SIMLOG_NOTE, CvFormat("block overruns the announced length: %u bytes discarded", declared - take));
        ReplyStatus(SIMCMD_PROG_BLOCK, SIMST_PROG_LENGTH_ERROR);
        return;
    }
    ReplyStatus(SIMCMD_PROG_BLOCK, SIMST_OK);
}

void TQvSimBeacon::DoProgUpdate(const std::vector<uint8_t>&)
{
    if (!fSession.Open) {
        ReplyStatus(SIMCMD_PROG_UPDATE, SIMST_PROG_FIRMWARE_ERROR);
        return;
    }
    TSession session = std::move(fSession);
    fSession = TSession();
    if (session.Image.size() != session.Length) {
        Log(SIMLOG_NOTE, CvFormat("update refused: received %u of %u bytes", session.Image.size(), session.Length));
        ReplyStatus(SIMCMD_PROG_UPDATE, SIMST_PROG_LENGTH_ERROR);
        return;
    }
    const uint32_t crc = TCvCrc::Crc32(session.Image);
    if (crc != session.Checksum && !fConfig.AcceptAnyChecksum) {
        Log(SIMLOG_NOTE, CvFormat("update refused: image checksum 0x%08X, announced 0x%08X", crc, session.Checksum));
        ReplyStatus(SIMCMD_PROG_UPDATE, SIMST_PROG_CHECKSUM_ERROR);
        return;
    }
    fImage = std::move(session.Image);
    fState.App.Valid = !fConfig.Faults.UpdateInvalid;
    fState.App.Checksum = fConfig.Faults.UpdateChecksum.value_or(session.Checksum);
    Changed();
    fSilent = true;
    fRebootPending = true;
    fDead = fConfig.Faults.NoReturn;
    fPollActive = fConfig.Faults.PollAnswer > 0;
    fPollCount = 0;
    ReplyStatus(SIMCMD_PROG_UPDATE, SIMST_OK);
}

void TQvSimBeacon::OnDrained(TQvSimLinkParams&)
{
    if (!fRebootPending)
        return;
    fRebootPending = false;
    fReader.Reset();
    if (fDead) {
        Log(SIMLOG_NOTE, "fault: rebooting and never coming back");
        return;
    }
    Log(SIMLOG_NOTE, CvFormat("rebooting (%u ms)", fConfig.RebootMs));
    if (fConfig.RebootMs == 0)
        FinishReboot();
    else
        fRebootTimer.Start(fConfig.RebootMs);
}

void TQvSimBeacon::OnRebootTimer(TCvTimerParams&)
{
    fRebootTimer.Stop();
    FinishReboot();
}

void TQvSimBeacon::FinishReboot()
{
    fSilent = false;
    fReader.Reset(); // the tail of a line cut by the reboot is no line
    fState.Section = fState.App.Valid ? 1 : 0;
    fState.Uptime = 0;
    fState.EngEnabled = false;
    fBootMs = NowMs();
    Changed();
    Log(SIMLOG_NOTE, CvFormat("running the %s section", fState.Section ? "application" : "boot"));
}

void TQvSimBeacon::CloseDevice(const std::string& why)
{
    Log(SIMLOG_NOTE, "fault: " + why);
    fClosed = true;
    fLink.Clear();
    fRebootTimer.Stop();
    TQvSimBeaconParams p{this};
    fOnClose(p);
}
