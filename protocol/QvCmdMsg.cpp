#include "protocol/QvCmdMsg.h"

#include "framework/CvClock.h"
#include "framework/CvFormat.h"
#include "framework/CvFoundation.h"

#include <algorithm>
#include <bit>
#include <cmath>

// ---- TQvCmdMsg ----

void TQvCmdMsg::Delete(int index)
{
    if (index >= 0 && index < Count())
        fBytes.erase(fBytes.begin() + index);
}

std::string TQvCmdMsg::GetCsv() const
{
    std::string csv = CvDateTimeText(CvNow());
    for (const std::string& value : fCsvParams) {
        csv += ',';
        csv += value;
    }
    return csv;
}

uint16_t TQvCmdMsg::CalcChecksum() const
{
    return TCvCrc::Crc16(fBytes);
}

void TQvCmdMsg::AddField(const std::string& name, const std::string& value)
{
    fFieldStrings.push_back(name + " = " + value);
}

void TQvCmdMsg::AddFieldError(const std::string& name)
{
    AddField(name, "An error occured reading this value.");
}

void TQvCmdMsg::RecordBool(const std::string& name, bool value)
{
    const std::string text = value ? "TRUE" : "FALSE";
    AddField(name, text);
    AddCsv(text);
}

void TQvCmdMsg::RecordCmdId(const std::string& name, uint8_t value)
{
    const std::string text = TQvCmdDefs::GetCmdIdString(value);
    AddField(name, CvFormat("%s (0x%0.2X)", text, static_cast<unsigned>(value)));
    AddCsv(text);
}

void TQvCmdMsg::RecordStatus(const std::string& name, uint8_t value)
{
    const std::string text = TQvCmdDefs::GetCmdStatusString(value);
    AddField(name, CvFormat("%s (0x%0.2X)", text, static_cast<unsigned>(value)));
    AddCsv(text);
}

void TQvCmdMsg::RecordUInt(const std::string& name, uint32_t value, int digits)
{
    AddField(name, CvFormat("0x%0.*X (%u)", digits, value, value));
    AddCsv(CvFormat("%u", value));
}

void TQvCmdMsg::RecordFloat(const std::string& name, float value)
{
    const std::string text = std::isnan(value) ? std::string("NaN") : CvFormat("%0.*g", 15, static_cast<double>(value));
    AddField(name, text);
    AddCsv(text);
}

void TQvCmdMsg::RecordBytes(const std::string& name, const uint8_t* data, size_t count)
{
    if (count == 0)
        return; // an empty byte field leaves no trace
    std::string chars;
    std::string hex;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = data[i];
        chars += (b >= 32 && b <= 126) ? static_cast<char>(b) : '.';
        if (i > 0)
            hex += ", ";
        hex += CvFormat("0x%0.2X", static_cast<unsigned>(b));
        AddCsv(CvFormat("%u", static_cast<unsigned>(b)));
    }
    AddField(CvFormat("%s[%u]", name, static_cast<unsigned>(count)), CvFormat("'%s' (%s)", chars, hex));
}

// ---- TQvCmdMsgRx ----

TQvCmdMsgRxDecode TQvCmdMsgRx::DecodeStr(std::string_view msgStr, int32_t maxLen)
{
    fFieldStrings.clear();
    fBytes.clear();
    fDecodeMsgStr.clear();
    fDecodeValid = false;
    fDecodeMsgBytes = 0;

    TQvCmdMsgRxDecode result = cdec_NO_SYNC;
    bool pending = false;
    uint8_t high = 0;
    for (const char ch : msgStr) {
        if (ch == '$') {
            result = cdec_OK;
            pending = false;
            fDecodeMsgStr += ch;
            continue;
        }
        if (result == cdec_NO_SYNC)
            continue; // noise before the start character
        if (ch == '\r' || ch == '\n')
            break;
        uint8_t nibble = 0;
        if (!TCvConvert::HexCharToNibble(ch, nibble))
            return cdec_BAD_CHAR;
        if (!pending) {
            high = nibble;
            pending = true;
            fDecodeMsgStr += ch;
            continue;
        }
        if (maxLen > 0 && fBytes.size() >= static_cast<size_t>(maxLen))
            return cdec_BAD_LEN_OVER;
        fDecodeMsgStr += ch;
        fBytes.push_back(static_cast<uint8_t>(high * 16 + nibble));
        ++fDecodeMsgBytes;
        pending = false;
    }
    if (result != cdec_OK)
        return result;
    if (fBytes.size() < 3)
        return cdec_BAD_LEN_UNDER;

    fCsumRx = ExtractChecksum();
    fCsumCalc = CalcChecksum();
    if (fCsumRx != fCsumCalc)
        return cdec_BAD_CSUM;

    fDecodeIdx = 0;
    result = DecodeFields();
    if (result == cdec_OK)
        fDecodeValid = true;
    return result;
}

uint16_t TQvCmdMsgRx::ExtractChecksum()
{
    if (fBytes.size() < 2)
        return 0;
    const uint16_t high = fBytes.back();
    fBytes.pop_back();
    const uint16_t low = fBytes.back();
    fBytes.pop_back();
    return static_cast<uint16_t>(low | (high << 8));
}

TQvCmdMsgRxDecode TQvCmdMsgRx::DecodeFields()
{
    bool error = false;
    fCmdId = ReadCmdId("CmdId", error);
    return error ? cdec_BAD_LEN_UNDER : cdec_OK;
}

bool TQvCmdMsgRx::Available(size_t count) const
{
    return fDecodeIdx >= 0 && static_cast<size_t>(fDecodeIdx) <= fBytes.size()
        && fBytes.size() - static_cast<size_t>(fDecodeIdx) >= count;
}

uint32_t TQvCmdMsgRx::TakeLE(size_t count)
{
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i)
        value |= static_cast<uint32_t>(fBytes[static_cast<size_t>(fDecodeIdx) + i]) << (8 * i);
    fDecodeIdx += static_cast<int32_t>(count);
    return value;
}

bool TQvCmdMsgRx::ReadBool(const std::string& name, bool def, bool& error)
{
    if (!Available(1)) {
        error = true;
        AddFieldError(name);
        return def;
    }
    const bool value = TakeLE(1) != 0;
    RecordBool(name, value);
    return value;
}

EQvCmdId TQvCmdMsgRx::ReadCmdId(const std::string& name, bool& error)
{
    if (!Available(1)) {
        error = true;
        AddFieldError(name);
        return CID_INVALID;
    }
    const auto value = static_cast<uint8_t>(TakeLE(1));
    RecordCmdId(name, value);
    return static_cast<EQvCmdId>(value);
}

EQvCmdStatus TQvCmdMsgRx::ReadStatus(const std::string& name, bool& error)
{
    if (!Available(1)) {
        error = true;
        AddFieldError(name);
        return CST_FAIL;
    }
    const auto value = static_cast<uint8_t>(TakeLE(1));
    RecordStatus(name, value);
    return static_cast<EQvCmdStatus>(value);
}

uint8_t TQvCmdMsgRx::ReadUInt8(const std::string& name, uint8_t def, bool& error)
{
    if (!Available(1)) {
        error = true;
        AddFieldError(name);
        return def;
    }
    const auto value = static_cast<uint8_t>(TakeLE(1));
    RecordUInt(name, value, 2);
    return value;
}

uint16_t TQvCmdMsgRx::ReadUInt16(const std::string& name, uint16_t def, bool& error)
{
    if (!Available(2)) {
        error = true;
        AddFieldError(name);
        return def;
    }
    const auto value = static_cast<uint16_t>(TakeLE(2));
    RecordUInt(name, value, 4);
    return value;
}

uint32_t TQvCmdMsgRx::ReadUInt32(const std::string& name, uint32_t def, bool& error)
{
    if (!Available(4)) {
        error = true;
        AddFieldError(name);
        return def;
    }
    const uint32_t value = TakeLE(4);
    RecordUInt(name, value, 8);
    return value;
}

float TQvCmdMsgRx::ReadFloat(const std::string& name, float def, bool& error)
{
    if (!Available(4)) {
        error = true;
        AddFieldError(name);
        return def;
    }
    const float value = std::bit_cast<float>(TakeLE(4));
    RecordFloat(name, value);
    return value;
}

void TQvCmdMsgRx::ReadBytes(const std::string& name, uint16_t length, std::vector<uint8_t>& bytes, bool& error)
{
    if (!Available(length)) {
        error = true;
        bytes.assign(length, 0);
        AddFieldError(CvFormat("%s[%u]", name, static_cast<unsigned>(length)));
        return;
    }
    const auto first = fBytes.begin() + fDecodeIdx;
    bytes.assign(first, first + length);
    fDecodeIdx += length;
    RecordBytes(name, bytes.data(), bytes.size());
}

// ---- TQvCmdMsgTx ----

std::string TQvCmdMsgTx::EncodeStr(bool addCrLf)
{
    fFieldStrings.clear();
    fBytes.clear();
    EncodeFields();

    std::string line;
    line.reserve(1 + 2 * fBytes.size() + 4 + 2);
    line += '#';
    for (const uint8_t b : fBytes) {
        line += TCvConvert::NibbleToHexChar(static_cast<uint8_t>(b >> 4));
        line += TCvConvert::NibbleToHexChar(b);
    }
    const uint16_t crc = CalcChecksum();
    line += TCvConvert::NibbleToHexChar(static_cast<uint8_t>(crc >> 4));
    line += TCvConvert::NibbleToHexChar(static_cast<uint8_t>(crc));
    line += TCvConvert::NibbleToHexChar(static_cast<uint8_t>(crc >> 12));
    line += TCvConvert::NibbleToHexChar(static_cast<uint8_t>(crc >> 8));
    if (addCrLf)
        line += "\r\n";
    return line;
}

void TQvCmdMsgTx::EncodeFields()
{
    WriteCmdId("CmdId", fCmdId);
}

void TQvCmdMsgTx::AppendLE(uint32_t value, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        fBytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void TQvCmdMsgTx::WriteBool(const std::string& name, bool value)
{
    fBytes.push_back(value ? 0xFF : 0x00);
    RecordBool(name, value);
}

void TQvCmdMsgTx::WriteCmdId(const std::string& name, EQvCmdId value)
{
    fBytes.push_back(value);
    RecordCmdId(name, value);
}

void TQvCmdMsgTx::WriteUInt8(const std::string& name, uint8_t value)
{
    AppendLE(value, 1);
    RecordUInt(name, value, 2);
}

void TQvCmdMsgTx::WriteUInt16(const std::string& name, uint16_t value)
{
    AppendLE(value, 2);
    RecordUInt(name, value, 4);
}

void TQvCmdMsgTx::WriteUInt32(const std::string& name, uint32_t value)
{
    AppendLE(value, 4);
    RecordUInt(name, value, 8);
}

void TQvCmdMsgTx::WriteFloat(const std::string& name, float value)
{
    AppendLE(std::bit_cast<uint32_t>(value), 4);
    RecordFloat(name, value);
}

void TQvCmdMsgTx::WriteBuffer(const std::string& name, const uint8_t* source, uint16_t count)
{
    if (count > 0 && source == nullptr)
        count = 0; // nothing to copy from
    fBytes.insert(fBytes.end(), source, source + count);
    RecordBytes(name, source, count);
}

void TQvCmdMsgTx::WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes, uint16_t length)
{
    const size_t count = length != 0 ? length : (bytes.size() & 0xFFFF);
    std::vector<uint8_t> data(count, 0);
    std::copy_n(bytes.begin(), std::min(count, bytes.size()), data.begin());
    fBytes.insert(fBytes.end(), data.begin(), data.end());
    RecordBytes(name, data.data(), data.size());
}
