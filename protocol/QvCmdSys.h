// The concrete messages exchanged with the beacon: system information, configuration query,
// engineering command and the three firmware programming commands, with their replies.
#pragma once

#include "protocol/QvCmdMsg.h"

#include <string>
#include <vector>

// ---- Host to beacon ----

// 0x02 SYS_INFO request, no fields.
class TQvCmdMsgTxSysInfo : public TQvCmdMsgTx {
public:
    TQvCmdMsgTxSysInfo() { fCmdId = CID_SYS_INFO; }
};

// 0x1A configuration query, no fields.
class TQvCmdMsgTxConfigGet : public TQvCmdMsgTx {
public:
    TQvCmdMsgTxConfigGet() { fCmdId = CID_CONFIG_GET; }
};

// 0x0F PROG_UPDATE: program the received firmware and reboot; no fields.
class TQvCmdMsgTxProgUpdate : public TQvCmdMsgTx {
public:
    TQvCmdMsgTxProgUpdate() { fCmdId = CID_PROG_UPDATE; }
};

// 0x0D PROG_INIT: announces a firmware transfer (39 bytes).
class TQvCmdMsgTxProgInit : public TQvCmdMsgTx {
public:
    static constexpr size_t SignatureLength = 20;

    TQvCmdMsgTxProgInit();

    uint16_t PartNumber() const { return fPartNumber; }
    void SetPartNumber(uint16_t value) { fPartNumber = value; }
    uint8_t PartRevisionMin() const { return fPartRevisionMin; }
    void SetPartRevisionMin(uint8_t value) { fPartRevisionMin = value; }
    uint8_t PartRevisionMax() const { return fPartRevisionMax; }
    void SetPartRevisionMax(uint8_t value) { fPartRevisionMax = value; }
    uint32_t SerialNumber() const { return fSerialNumber; }
    void SetSerialNumber(uint32_t value) { fSerialNumber = value; }
    uint8_t Section() const { return fSection; }
    void SetSection(uint8_t value) { fSection = value; }
    uint8_t DataFormat() const { return fDataFormat; }
    void SetDataFormat(uint8_t value) { fDataFormat = value; }
    uint32_t Checksum() const { return fChecksum; }
    void SetChecksum(uint32_t value) { fChecksum = value; }
    uint32_t Length() const { return fLength; }
    void SetLength(uint32_t value) { fLength = value; }
    // Always exactly 20 bytes: a longer signature is cut, a shorter one filled with zero bytes.
    const std::vector<uint8_t>& Signature() const { return fSignature; }
    void SetSignature(const std::vector<uint8_t>& value);

protected:
    void EncodeFields() override;

    uint16_t fPartNumber = 0;
    uint8_t fPartRevisionMin = 0;
    uint8_t fPartRevisionMax = 0;
    uint32_t fSerialNumber = 0;
    uint8_t fSection = 0;
    uint8_t fDataFormat = 0;
    uint32_t fChecksum = 0;
    uint32_t fLength = 0;
    std::vector<uint8_t> fSignature;
};

// 0x0E PROG_BLOCK: one block of firmware data with its 16-bit length.
class TQvCmdMsgTxProgBlock : public TQvCmdMsgTx {
public:
    // Most data bytes one block can carry (the length field has 16 bits).
    static constexpr size_t MaxDataLength = 0xFFFF;

    TQvCmdMsgTxProgBlock() { fCmdId = CID_PROG_BLOCK; }

    const std::vector<uint8_t>& Data() const { return fData; }
    void SetData(const std::vector<uint8_t>& value) { fData = value; }

protected:
    void EncodeFields() override;

    std::vector<uint8_t> fData;
};

// Actions of the engineering command.
enum EQvCmdEngAction : uint8_t {
    ENG_ACTION_QUERY = 0,         // is engineering access on?
    ENG_ACTION_ENABLE = 1,        // enable engineering access with the key
    ENG_ACTION_HARDWARE = 2,      // write the hardware identity
    ENG_ACTION_FLAGS_USER = 3,    // write the user flags
    ENG_ACTION_USBL_CAL = 32,     // write the USBL calibration
};

// 0x04 SYS_ENGINEERING: an action byte, then the action's fields (2 to 99 bytes).
class TQvCmdMsgTxSysEngineering : public TQvCmdMsgTx {
public:
    static constexpr size_t KeyLength = 8;

    TQvCmdMsgTxSysEngineering() { fCmdId = CID_SYS_ENGINEERING; }

    // The action, set directly (see EQvCmdEngAction).
    uint8_t fAction = ENG_ACTION_QUERY;

    // Key text for the enable action; its bytes are sent cut or zero-filled to 8.
    const std::string& Key() const { return fKey; }
    void SetKey(const std::string& value) { fKey = value; }
    const TQvCmdInfoHardware& Hardware() const { return fHardware; }
    void SetHardware(const TQvCmdInfoHardware& value) { fHardware = value; }
    const TQvCmdUsblCal& UsblCal() const { return fUsblCal; }
    void SetUsblCal(const TQvCmdUsblCal& value) { fUsblCal = value; }

protected:
    void EncodeFields() override;

    std::string fKey;
    TQvCmdInfoHardware fHardware;
    TQvCmdUsblCal fUsblCal;
};

// ---- Beacon to host ----

// 0x02 SYS_INFO reply: the system information (39 bytes, no status).
class TQvCmdMsgRxSysInfo : public TQvCmdMsgRx {
public:
    const TQvCmdInfo& Info() const { return fInfo; }

protected:
    TQvCmdMsgRxDecode DecodeFields() override;

    TQvCmdInfo fInfo;
};

// 0x1A configuration reply (117 bytes, no status).
class TQvCmdMsgRxConfigGet : public TQvCmdMsgRx {
public:
    const TQvCmdConfig& Config() const { return fConfig; }

protected:
    TQvCmdMsgRxDecode DecodeFields() override;

    TQvCmdConfig fConfig;
};

// Common parent of the replies that carry a status byte right after the identifier.
class TQvCmdMsgRx_Status : public TQvCmdMsgRx {
public:
    EQvCmdStatus Status() const { return fStatus; }

protected:
    TQvCmdMsgRxDecode DecodeFields() override;

    EQvCmdStatus fStatus = CST_OK;
};

// 0x04 SYS_ENGINEERING reply: status and the action answered.
class TQvCmdMsgRxSysEngineering : public TQvCmdMsgRx_Status {
public:
    uint8_t Action() const { return fAction; }

protected:
    TQvCmdMsgRxDecode DecodeFields() override;

    uint8_t fAction = 0;
};

// 0x0D, 0x0E, 0x0F programming acknowledgements: status only.
class TQvCmdMsgRxProgInit : public TQvCmdMsgRx_Status {};
class TQvCmdMsgRxProgBlock : public TQvCmdMsgRx_Status {};
class TQvCmdMsgRxProgUpdate : public TQvCmdMsgRx_Status {};
