#include "protocol/QvCmdProc.h"

#include "framework/CvFormat.h"
#include "framework/CvFoundation.h"

TQvCmdProc::TQvCmdProc() = default;

TQvCmdProc::~TQvCmdProc()
{
    SetComPort(nullptr);
}

void TQvCmdProc::SetComPort(TComPort* port)
{
    fPortBinding.Reset();
    fComPort = port;
    if (fComPort != nullptr) {
        const TRxCharEvent own(this, &TQvCmdProc::ComPortRxChar);
        TComEvents events = fComPort->Events();
        events.set(evRxChar);
        fComPort->SetEvents(events);
        fComPort->SetOnRxChar(own);
        // Only our own handler is taken away: another object may have bound the port since.
        fPortBinding = TCvRegistration(port->Lifetime(), [port, own] {
            if (port->OnRxChar() == own)
                port->SetOnRxChar(TRxCharEvent());
        });
    }
    DecodeReset();
}

// ---- Registry ----

TQvCmdProc::TQvCmdProcDictionaryEntry* TQvCmdProc::FindEntry(EQvCmdId cmdId) const
{
    const auto it = fCommands.find(cmdId);
    return it == fCommands.end() ? nullptr : it->second.get();
}

const TQvCmdProc::TQvCmdProcDictionaryEntry* TQvCmdProc::Entry(EQvCmdId cmdId) const
{
    return FindEntry(cmdId);
}

TQvCmdProc::TQvCmdProcDictionaryEntry* TQvCmdProc::RegisterCmd(EQvCmdId cmdId, TQvCmdMsgRxClass cmdClass)
{
    if (TQvCmdProcDictionaryEntry* entry = FindEntry(cmdId))
        return entry;
    if (cmdClass == nullptr)
        return nullptr; // an entry must be able to make its message
    auto entry = std::make_unique<TQvCmdProcDictionaryEntry>();
    entry->CmdId = cmdId;
    entry->CmdClass = cmdClass;
    TQvCmdProcDictionaryEntry* result = entry.get();
    fCommands[cmdId] = std::move(entry);
    return result;
}

bool TQvCmdProc::RegisterHandler(EQvCmdId cmdId, const TQvCmdProcExecuteDelegate& delegate)
{
    TQvCmdProcDictionaryEntry* entry = FindEntry(cmdId);
    if (entry == nullptr || !delegate)
        return false;
    entry->CmdDelegates.push_back(delegate);
    return true;
}

bool TQvCmdProc::UnregisterHandler(EQvCmdId cmdId, const TQvCmdProcExecuteDelegate& delegate)
{
    TQvCmdProcDictionaryEntry* entry = FindEntry(cmdId);
    if (entry == nullptr || !delegate)
        return false;
    auto& list = entry->CmdDelegates;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (*it == delegate) {
            list.erase(it);
            return true;
        }
    }
    return false;
}

TCvRegistration TQvCmdProc::AddHandler(EQvCmdId cmdId, const TQvCmdProcExecuteDelegate& delegate)
{
    if (!RegisterHandler(cmdId, delegate))
        return {};
    return TCvRegistration(fLifetime, [this, cmdId, delegate] { UnregisterHandler(cmdId, delegate); });
}

void TQvCmdProc::Unregister(EQvCmdId cmdId)
{
    fCommands.erase(cmdId);
}

// ---- Receiving ----

void TQvCmdProc::ComPortRxChar(TComRxCharParams& params)
{
    TComPort* port = LivePort();
    if (params.Count <= 0 || port == nullptr)
        return;
    std::string chars;
    port->ReadStr(chars, params.Count);
    // Delegates may send (and so receive) while the rest of this batch waits here.
    for (const char ch : chars)
        Decode(ch);
}

void TQvCmdProc::DecodeReset()
{
    fDecodeEn = false;
    fDecodeStr.clear();
}

TQvCmdMsgRxDecode TQvCmdProc::Decode(char ch)
{
    if (ch == '$') {
        fDecodeEn = true;
        fDecodeStr.clear();
        fDecodeStr.push_back(ch);
        return cdec_OK;
    }
    if (!fDecodeEn)
        return cdec_OK; // noise between lines
    if (ch == '\r' || ch == '\n') {
        fDecodeEn = false;
        const std::string line = std::move(fDecodeStr);
        fDecodeStr.clear();
        return DecodeStr(line);
    }
    if (fDecodeStr.size() >= 1 + MaxLineDigits) {
        fDecodeEn = false;
        DoDecode(cdec_BAD_LEN_OVER, CvFormat("Rx Overflow Error (Length > %u bytes, Rx='%s')", MaxLineBytes, fDecodeStr),
                 nullptr);
        return cdec_BAD_LEN_OVER;
    }
    uint8_t nibble = 0;
    if (TCvConvert::HexCharToNibble(ch, nibble)) {
        fDecodeStr += ch;
        return cdec_OK;
    }
    fDecodeEn = false;
    const auto code = static_cast<uint8_t>(ch);
    const std::string text = code >= 33 && code <= 126
        ? CvFormat("Rx Character Error (Char='%s', Rx='%s')", std::string(1, ch), fDecodeStr)
        : CvFormat("Rx Character Error (ASCII=%u, Rx='%s')", static_cast<unsigned>(code), fDecodeStr);
    DoDecode(cdec_BAD_CHAR, text, nullptr);
    return cdec_BAD_CHAR;
}

TQvCmdMsgRxDecode TQvCmdProc::DecodeStr(std::string_view msgStr)
{
    const std::string line(msgStr);
    if (line.size() < 7) {
        DoDecode(cdec_BAD_LEN_UNDER, CvFormat("Rx Underflow Error (Length < 3 bytes, Rx='%s')", line), nullptr);
        return cdec_BAD_LEN_UNDER;
    }
    if (line[0] != '$') {
        DoDecode(cdec_NO_SYNC, CvFormat("Rx Sync Character Missing (Rx='%s')", line), nullptr);
        return cdec_NO_SYNC;
    }
    const std::string idText = line.substr(1, 2);
    const auto cmdId = static_cast<EQvCmdId>(TCvConvert::HexToIntDef(idText, 0) & 0xFF);
    if (cmdId == CID_INVALID) {
        DoDecode(cdec_BAD_CHAR, CvFormat("Rx CmdId Character Error (CmdId=0x%s, Rx='%s')", idText, line), nullptr);
        return cdec_BAD_CHAR;
    }
    const TQvCmdProcDictionaryEntry* entry = FindEntry(cmdId);
    std::unique_ptr<TQvCmdMsgRx> msg = entry != nullptr ? entry->CmdClass() : nullptr;
    if (msg == nullptr) {
        if (fDecodeErrorEnUnregistered)
            DoDecode(cdec_BAD_CMD_ID,
                     CvFormat("Rx CmdId Unregistered (CmdId=0x%0.2X, Rx='%s')", static_cast<unsigned>(cmdId), line),
                     nullptr);
        return cdec_BAD_CMD_ID;
    }

    const TQvCmdMsgRxDecode status = msg->DecodeStr(line, 0);
    if (status != cdec_OK) {
        std::string text;
        switch (status) {
        case cdec_NO_SYNC: text = CvFormat("Rx Sync Character Missing (Rx='%s')", line); break;
        case cdec_BAD_CHAR: text = CvFormat("Rx Character Error (Rx='%s')", line); break;
        case cdec_BAD_LEN_UNDER: text = CvFormat("Rx Underflow Error (Rx='%s')", line); break;
        case cdec_BAD_LEN_OVER: text = CvFormat("Rx Overflow Error (Rx='%s')", line); break;
        case cdec_BAD_CSUM:
            text = CvFormat("Rx Checksum Error (RxCsum=0x%0.4X, CalcCsum=0x%0.4X, Rx='%s')",
                            static_cast<unsigned>(msg->ChecksumRx()), static_cast<unsigned>(msg->ChecksumCalc()), line);
            break;
        case cdec_BAD_PARAM: text = CvFormat("Rx Parameter Syntax Error (Rx='%s')", line); break;
        default: text = CvFormat("Rx Decode Error (Rx='%s')", line); break;
        }
        DoDecode(status, text, nullptr);
        return status;
    }
    DoDecode(cdec_OK, line, msg.get());
    Execute(*msg); // the message is freed on return, also when a delegate throws
    return cdec_OK;
}

bool TQvCmdProc::Execute(TQvCmdMsgRx& msg)
{
    const TQvCmdProcDictionaryEntry* entry = FindEntry(msg.CmdId());
    if (entry == nullptr)
        return false;
    const size_t count = entry->CmdDelegates.size();
    for (size_t i = 0; i < count; ++i) {
        // A delegate may unregister handlers or the whole entry: look it up again each time.
        entry = FindEntry(msg.CmdId());
        if (entry == nullptr || i >= entry->CmdDelegates.size())
            break;
        const TQvCmdProcExecuteDelegate delegate = entry->CmdDelegates[i];
        if (!delegate)
            continue;
        TQvCmdProcExecuteParams params{this, &msg};
        delegate(params);
    }
    return true;
}

void TQvCmdProc::DoDecode(TQvCmdMsgRxDecode status, const std::string& text, TQvCmdMsgRx* msg)
{
    if (!fOnDecode)
        return;
    TQvCmdProcDecodeParams params{this, status, text, msg};
    const TQvCmdProcDecodeEvent handler = fOnDecode; // the handler may replace itself
    handler(params);
}

// ---- Sending ----

void TQvCmdProc::SendMsg(TQvCmdMsgTx& msg)
{
    TComPort* port = LivePort();
    if (port == nullptr || !port->Connected())
        return;
    port->WriteStr(msg.EncodeStr(true));
    if (fOnSend) {
        TQvCmdProcSendParams params{this, &msg};
        const TQvCmdProcSendEvent handler = fOnSend;
        handler(params);
    }
}

void TQvCmdProc::SendMsg(TQvCmdMsgTxClass msgClass)
{
    if (msgClass == nullptr)
        return;
    const std::unique_ptr<TQvCmdMsgTx> msg = msgClass();
    if (msg != nullptr)
        SendMsg(*msg);
}
