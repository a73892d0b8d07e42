// Message objects of the beacon protocol and their text framing: "#"/"$", hex pairs,
// CRC-16/ARC low byte first, CR LF. Typed little-endian readers and writers record a
// readable line and a plain CSV value for every field.
#pragma once

#include "protocol/QvCmdDefs.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

// Result of decoding one received line.
enum TQvCmdMsgRxDecode : uint8_t {
    cdec_OK = 0,            // decoded, checksum right, all fields present
    cdec_NO_SYNC = 1,       // no "$" start character
    cdec_BAD_CHAR = 2,      // a character other than a hex digit, CR or LF after the "$"
    cdec_BAD_LEN_UNDER = 3, // fewer than 3 bytes, or too few for the message's fields
    cdec_BAD_LEN_OVER = 4,  // more bytes than the caller allowed
    cdec_BAD_CSUM = 5,      // received checksum differs from the computed one
    cdec_BAD_CMD_ID = 6,    // identifier not registered (set by the processor)
    cdec_BAD_PARAM = 7,     // a field value is not acceptable (set by the processor)
};

// Base of every message: the message bytes (identifier first) and the field records.
class TQvCmdMsg {
public:
    TQvCmdMsg() = default;
    virtual ~TQvCmdMsg() = default;

    // The byte list.
    const std::vector<uint8_t>& Bytes() const { return fBytes; }
    std::vector<uint8_t>& Bytes() { return fBytes; }
    int Count() const { return static_cast<int>(fBytes.size()); }
    uint8_t operator[](int index) const { return fBytes.at(static_cast<size_t>(index)); }
    void Add(uint8_t value) { fBytes.push_back(value); }
    void Delete(int index);
    void Clear() { fBytes.clear(); }

    EQvCmdId CmdId() const { return fCmdId; }
    void SetCmdId(EQvCmdId cmdId) { fCmdId = cmdId; }

    // One line per field read or written: name, " = ", value. The message keeps it.
    const std::vector<std::string>& GetFields() const { return fFieldStrings; }
    // A copy of the field lines.
    std::vector<std::string> GetFieldsArray() const { return fFieldStrings; }
    // One plain value per field (per byte for byte fields); never emptied by encode/decode.
    const std::vector<std::string>& CsvParams() const { return fCsvParams; }
    // Local time now "yyyy-mm-dd hh:nn:ss.zzz", then "," and each CSV value in order.
    std::string GetCsv() const;

    // CRC-16/ARC over every byte in the list.
    uint16_t CalcChecksum() const;

protected:
    void AddField(const std::string& name, const std::string& value);
    void AddFieldError(const std::string& name);
    void AddCsv(const std::string& value) { fCsvParams.push_back(value); }

    // Value texts shared by the readers and the writers.
    void RecordBool(const std::string& name, bool value);
    void RecordCmdId(const std::string& name, uint8_t value);
    void RecordStatus(const std::string& name, uint8_t value);
    void RecordUInt(const std::string& name, uint32_t value, int digits);
    void RecordFloat(const std::string& name, float value);
    void RecordBytes(const std::string& name, const uint8_t* data, size_t count);

    std::vector<uint8_t> fBytes;
    EQvCmdId fCmdId = CID_INVALID;
    std::vector<std::string> fFieldStrings;
    std::vector<std::string> fCsvParams;
};

class TQvCmdMsgRx;
class TQvCmdMsgTx;
// Class references: create a message of the referenced concrete class.
using TQvCmdMsgRxClass = std::unique_ptr<TQvCmdMsgRx> (*)();
using TQvCmdMsgTxClass = std::unique_ptr<TQvCmdMsgTx> (*)();

// A message received from the beacon.
class TQvCmdMsgRx : public TQvCmdMsg {
public:
    // The class reference of a concrete received message: TQvCmdMsgRx::ClassOf<TQvCmdMsgRxSysInfo>().
    template <typename T>
    static TQvCmdMsgRxClass ClassOf()
    {
        static_assert(std::is_base_of_v<TQvCmdMsgRx, T>);
        return &CreateOf<T>;
    }

    // Decodes one line ("$", hex pairs, checksum; CR or LF ends it). `maxLen` caps the number of
    // bytes assembled, 0 or less for no cap.
    TQvCmdMsgRxDecode DecodeStr(std::string_view msgStr, int32_t maxLen = 0);

    uint16_t ChecksumRx() const { return fCsumRx; }
    uint16_t ChecksumCalc() const { return fCsumCalc; }
    bool DecodeValid() const { return fDecodeValid; }
    // The "$" and every accepted hex digit of the last decode.
    const std::string& DecodeMsgStr() const { return fDecodeMsgStr; }
    // Bytes assembled by the last decode, checksum included.
    int32_t DecodeMsgBytes() const { return fDecodeMsgBytes; }
    int32_t DecodeIdx() const { return fDecodeIdx; }

    // Removes the last two bytes and returns them (second-to-last the low byte); 0 and no change
    // when fewer than two bytes are held.
    uint16_t ExtractChecksum();

protected:
    // Reads this message's fields from fDecodeIdx on. An override calls its parent first, reads
    // its own fields with one shared error flag and returns cdec_BAD_LEN_UNDER if any read
    // failed, else the parent's result.
    virtual TQvCmdMsgRxDecode DecodeFields();

    // Typed readers: on success they take the bytes at fDecodeIdx, advance it and record the
    // field; when the bytes are missing they set `error` (never clear it), leave fDecodeIdx,
    // record an error line and return the fallback.
    bool ReadBool(const std::string& name, bool def, bool& error);
    EQvCmdId ReadCmdId(const std::string& name, bool& error);
    EQvCmdStatus ReadStatus(const std::string& name, bool& error);
    uint8_t ReadUInt8(const std::string& name, uint8_t def, bool& error);
    uint16_t ReadUInt16(const std::string& name, uint16_t def, bool& error);
    uint32_t ReadUInt32(const std::string& name, uint32_t def, bool& error);
    float ReadFloat(const std::string& name, float def, bool& error);
    // `length` bytes into `bytes`; `length` zero bytes when short.
    void ReadBytes(const std::string& name, uint16_t length, std::vector<uint8_t>& bytes, bool& error);

    uint16_t fCsumRx = 0;
    uint16_t fCsumCalc = 0;
    int32_t fDecodeIdx = 0;
    bool fDecodeValid = false;
    std::string fDecodeMsgStr;
    int32_t fDecodeMsgBytes = 0;

private:
    template <typename T>
    static std::unique_ptr<TQvCmdMsgRx> CreateOf()
    {
        return std::make_unique<T>();
    }
    // True when `count` bytes lie at and after fDecodeIdx.
    bool Available(size_t count) const;
    // Little-endian unsigned of `count` bytes at fDecodeIdx, then advances.
    uint32_t TakeLE(size_t count);
};

// A message sent to the beacon.
class TQvCmdMsgTx : public TQvCmdMsg {
public:
    // The class reference of a concrete transmitted message.
    template <typename T>
    static TQvCmdMsgTxClass ClassOf()
    {
        static_assert(std::is_base_of_v<TQvCmdMsgTx, T>);
        return &CreateOf<T>;
    }

    // Rebuilds the byte list from the fields and returns the line "#", hex pairs, checksum
    // (low byte first) and, when asked, CR LF.
    std::string EncodeStr(bool addCrLf);

protected:
    // Appends this message's fields. An override calls its parent first, then writes its own.
    virtual void EncodeFields();

    // Typed writers: append the bytes and record the field.
    void WriteBool(const std::string& name, bool value); // 0xFF or 0x00
    void WriteCmdId(const std::string& name, EQvCmdId value);
    void WriteUInt8(const std::string& name, uint8_t value);
    void WriteUInt16(const std::string& name, uint16_t value);
    void WriteUInt32(const std::string& name, uint32_t value);
    void WriteFloat(const std::string& name, float value);
    void WriteBuffer(const std::string& name, const uint8_t* source, uint16_t count);
    // Exactly `length` bytes: the array cut or zero-filled; a length of 0 means the array's own
    // length (modulo 65536).
    void WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes, uint16_t length);

private:
    template <typename T>
    static std::unique_ptr<TQvCmdMsgTx> CreateOf()
    {
        return std::make_unique<T>();
    }
    void AppendLE(uint32_t value, size_t count);
};
