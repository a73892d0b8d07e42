// The command processor: turns characters from the serial port into "$" lines, decodes each
// into a received message of the class registered for its identifier, reports every line's
// outcome through OnDecode and hands valid messages to the delegates registered for that
// identifier. On the sending side it encodes a message as a "#" line and writes it to the port.
#pragma once

#include "framework/CvEvent.h"
#include "framework/CvRegistration.h"
#include "protocol/QvCmdMsg.h"
#include "serial/ComPort.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TQvCmdProc;

struct TQvCmdProcDecodeParams {
    TQvCmdProc* Sender = nullptr;
    TQvCmdMsgRxDecode Status = cdec_OK;
    std::string StatusStr;
    TQvCmdMsgRx* MsgRx = nullptr; // the decoded message, only for cdec_OK
};

struct TQvCmdProcSendParams {
    TQvCmdProc* Sender = nullptr;
    TQvCmdMsgTx* MsgTx = nullptr;
};

struct TQvCmdProcExecuteParams {
    TQvCmdProc* Sender = nullptr;
    TQvCmdMsgRx* MsgRx = nullptr; // lives only during the call: copy what is needed
};

using TQvCmdProcDecodeEvent = TCvEvent<TQvCmdProcDecodeParams>;
using TQvCmdProcSendEvent = TCvEvent<TQvCmdProcSendParams>;
using TQvCmdProcExecuteDelegate = TCvEvent<TQvCmdProcExecuteParams>;

class TQvCmdProc {
public:
    // One registered identifier: the received-message class made for it and its delegates, in
    // registration order (duplicates allowed).
    class TQvCmdProcDictionaryEntry {
    public:
        EQvCmdId CmdId = CID_INVALID;
        TQvCmdMsgRxClass CmdClass = nullptr;
        std::vector<TQvCmdProcExecuteDelegate> CmdDelegates;
    };

    // Characters after the "$" accepted in one line (2000 bytes including the checksum).
    static constexpr size_t MaxLineDigits = 4000;
    static constexpr unsigned MaxLineBytes = 2000;

    TQvCmdProc();
    // Unbinds the port (its handler is cleared when it is still this processor's and the port
    // still exists) and frees the registry; neither the port nor any handler object is freed.
    // Registrations made with AddHandler that outlive the processor then do nothing.
    ~TQvCmdProc();
    TQvCmdProc(const TQvCmdProc&) = delete;
    TQvCmdProc& operator=(const TQvCmdProc&) = delete;

    TComPort* ComPort() const { return LivePort(); }
    // Binds a port (or none): the old port's received-characters handler is cleared, the new
    // port monitors evRxChar and reports to this processor, and any partial line is dropped.
    // A port destroyed while bound counts as no port from then on.
    void SetComPort(TComPort* port);

    // Whether a line with an unregistered identifier is reported through OnDecode.
    bool DecodeErrorEnUnregistered() const { return fDecodeErrorEnUnregistered; }
    void SetDecodeErrorEnUnregistered(bool value) { fDecodeErrorEnUnregistered = value; }

    const TQvCmdProcDecodeEvent& OnDecode() const { return fOnDecode; }
    void SetOnDecode(const TQvCmdProcDecodeEvent& handler) { fOnDecode = handler; }
    const TQvCmdProcSendEvent& OnSend() const { return fOnSend; }
    void SetOnSend(const TQvCmdProcSendEvent& handler) { fOnSend = handler; }

    // Adds an entry for the identifier, or returns the existing one unchanged (its class is kept).
    // Returns nullptr, adding nothing, for a new identifier with no class.
    TQvCmdProcDictionaryEntry* RegisterCmd(EQvCmdId cmdId, TQvCmdMsgRxClass cmdClass);
    // Appends a delegate; false when the identifier has no entry or the delegate is unassigned.
    bool RegisterHandler(EQvCmdId cmdId, const TQvCmdProcExecuteDelegate& delegate);
    // Removes the first equal delegate (same method, same object); true when one was found.
    bool UnregisterHandler(EQvCmdId cmdId, const TQvCmdProcExecuteDelegate& delegate);
    // RegisterHandler, giving back a registration that unregisters the delegate when it is
    // destroyed (or reset) while this processor exists; an empty one when nothing was registered.
    TCvRegistration AddHandler(EQvCmdId cmdId, const TQvCmdProcExecuteDelegate& delegate);
    // Removes the identifier's entry with its delegates, if any.
    void Unregister(EQvCmdId cmdId);
    // The identifier's entry, or nullptr.
    const TQvCmdProcDictionaryEntry* Entry(EQvCmdId cmdId) const;

    // Line building, one character at a time.
    TQvCmdMsgRxDecode Decode(char ch);
    // Decodes one complete line ("$" ..., without its end) and dispatches it.
    TQvCmdMsgRxDecode DecodeStr(std::string_view msgStr);
    // Drops any partial line silently.
    void DecodeReset();
    // Calls the delegates of the message's identifier in registration order; false when the
    // identifier has no entry.
    bool Execute(TQvCmdMsgRx& msg);

    // Encodes the message ("#", hex, checksum, CR LF) and writes it in one write, then raises
    // OnSend; only when a port is bound and open, otherwise the message is dropped. Port errors
    // reach the caller. The caller keeps the message.
    void SendMsg(TQvCmdMsgTx& msg);
    // Creates a message of the class with its default field values, sends it and frees it.
    void SendMsg(TQvCmdMsgTxClass msgClass);

    // The port's received-characters handler: reads the waiting characters and decodes them.
    void ComPortRxChar(TComRxCharParams& params);

private:
    void DoDecode(TQvCmdMsgRxDecode status, const std::string& text, TQvCmdMsgRx* msg);
    TQvCmdProcDictionaryEntry* FindEntry(EQvCmdId cmdId) const;
    // The bound port while it exists, else nullptr.
    TComPort* LivePort() const { return fPortBinding.Active() ? fComPort : nullptr; }

    std::map<uint8_t, std::unique_ptr<TQvCmdProcDictionaryEntry>> fCommands;
    TComPort* fComPort = nullptr;
    bool fDecodeEn = false;
    bool fDecodeErrorEnUnregistered = true;
    std::string fDecodeStr;
    TQvCmdProcDecodeEvent fOnDecode;
    TQvCmdProcSendEvent fOnSend;
    TCvRegistration fPortBinding; // takes this processor's handler off the port
    TCvLifetime fLifetime;        // last: registrations see it end first
};
