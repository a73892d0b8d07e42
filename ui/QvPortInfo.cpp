#include "ui/QvPortInfo.h"

#include <QSerialPortInfo>
#include <QStringList>

#include <optional>

namespace {

// The system's record of the port named by its name or its path; null when it is not listed.
std::optional<QSerialPortInfo> Find(const std::string& portName)
{
    const QString name = QString::fromStdString(portName);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        if (info.portName() == name || info.systemLocation() == name)
            return info;
    return std::nullopt;
}

} // namespace

std::string TQvPortInfo::Hint(const std::string& portName)
{
    const std::optional<QSerialPortInfo> info = Find(portName);
    const std::string path = info ? info->systemLocation().toStdString() : portName;
    const std::string description = Description(portName);
    return description.empty() ? path : path + "\n" + description;
}

std::string TQvPortInfo::Description(const std::string& portName)
{
    if (const std::optional<QSerialPortInfo> found = Find(portName)) {
        const QSerialPortInfo& info = *found;
        QString text = info.description();
        if (!info.manufacturer().isEmpty() && !text.contains(info.manufacturer()))
            text += (text.isEmpty() ? "" : " - ") + info.manufacturer();
        if (!info.serialNumber().isEmpty())
            text += (text.isEmpty() ? "" : " ") + QString("(%1)").arg(info.serialNumber());
        return text.trimmed().toStdString();
    }
    return std::string();
}
