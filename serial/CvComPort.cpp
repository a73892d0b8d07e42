#include "serial/CvComPort.h"

#include "framework/CvFormat.h"
#include "framework/CvIniFile.h"
#include "framework/CvText.h"

#include <algorithm>

namespace {

std::string SummaryText(const std::string& port, TBaudRate baud, TDataBits data, TStopBits stop,
                        TParityBits parity)
{
    return CvFormat("%s-%s-%s-%s-%s", port, BaudRateToText(baud), DataBitsToText(data),
                    StopBitsToText(stop), ParityToText(parity).substr(0, 1));
}

} // namespace

// ---- TCvComSettings ----

void TCvComSettings::Defaults()
{
    fBaudRate = br9600;
    fDataBits = dbEight;
    fFlowControl = fcNone;
    fParity = prNone;
    fPortName.clear();
    fStopBits = sbOneStopBit;
}

void TCvComSettings::FromComPort(const TComPort* com)
{
    if (!com)
        return;
    fPortName = com->Port();
    fBaudRate = com->BaudRate();
    fDataBits = com->DataBits();
    fFlowControl = com->FlowControl().FlowControl();
    fParity = com->Parity().Bits();
    fStopBits = com->StopBits();
}

void TCvComSettings::ToComPort(TComPort* com) const
{
    if (!com)
        return;
    com->SetPort(fPortName);
    com->SetBaudRate(fBaudRate);
    com->SetDataBits(fDataBits);
    com->FlowControl().SetFlowControl(fFlowControl);
    com->Parity().SetBits(fParity);
    com->SetStopBits(fStopBits);
}

void TCvComSettings::FromIniFile(TCvIniFile& ini, const std::string& section)
{
    fPortName = TCvComPort::NormalizePortName(ini.ReadString(section, "Port", ""));
    fBaudRate = TextToBaudRate(ini.ReadString(section, "BaudRate", "9600"));
    fDataBits = TextToDataBits(ini.ReadString(section, "DataBits", "8"));
    fStopBits = TextToStopBits(ini.ReadString(section, "StopBits", "1"));
    fParity = TextToParity(ini.ReadString(section, "Parity", "None"));
    fFlowControl = TextToFlowControl(ini.ReadString(section, "FlowControl", "None"));
    Validate();
}

void TCvComSettings::ToIniFile(TCvIniFile& ini, const std::string& section)
{
    Validate();
    ini.WriteString(section, "Port", fPortName);
    ini.WriteString(section, "BaudRate", BaudRateToText(fBaudRate));
    ini.WriteString(section, "DataBits", DataBitsToText(fDataBits));
    ini.WriteString(section, "StopBits", StopBitsToText(fStopBits));
    ini.WriteString(section, "Parity", ParityToText(fParity));
    ini.WriteString(section, "FlowControl", FlowControlToText(fFlowControl));
}

void TCvComSettings::Validate()
{
    // Every combination is a valid record; the device judges what it can carry at open.
}

std::string TCvComSettings::SettingsText() const
{
    return SummaryText(fPortName, fBaudRate, fDataBits, fStopBits, fParity);
}

// ---- TCvComPort ----

TBaudRate TCvComPort::GetBaudRate(uint32_t value, bool allowCustom)
{
    for (int i = br256000; i >= br110; --i) {
        const uint32_t rate = BaudRateToValue(static_cast<TBaudRate>(i));
        if (allowCustom ? rate == value : rate <= value)
            return static_cast<TBaudRate>(i);
    }
    return allowCustom ? brCustom : br110;
}

TBaudRate TCvComPort::GetBaudRate(const std::string& value, bool allowCustom)
{
    // A text that is no number counts as 0, and so does a negative number: it is no rate.
    const int32_t number = CvStrToIntDef(CvTrim(value), 0);
    const uint32_t rate = number > 0 ? static_cast<uint32_t>(number) : 0;
    return GetBaudRate(rate, allowCustom);
}

uint32_t TCvComPort::GetBaudValue(TBaudRate baud)
{
    return BaudRateToValue(baud);
}

void TCvComPort::PreparePortList(std::vector<std::string>& ports)
{
    std::stable_sort(ports.begin(), ports.end(), [](const std::string& a, const std::string& b) {
        return CvUpperCase(a) < CvUpperCase(b);
    });
    for (std::string& name : ports) {
        const auto cut = std::find_if(name.begin(), name.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return u < 0x20 || u > 0x7E;
        });
        name.erase(cut, name.end());
    }
}

std::string TCvComPort::NormalizePortName(const std::string& port)
{
#if defined(_WIN32)
    return CvUpperCase(CvTrim(port));
#else
    return CvTrim(port);
#endif
}

std::string TCvComPort::GetSettingsString(const TComPort* com)
{
    if (!com)
        return {};
    return SummaryText(com->Port(), com->BaudRate(), com->DataBits(), com->StopBits(),
                       com->Parity().Bits());
}
