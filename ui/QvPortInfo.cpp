#include "ui/QvPortInfo.h"

#include <QSerialPortInfo>
#include <QStringList>

std::string TQvPortInfo::Description(const std::string& portName)
{
    const QString name = QString::fromStdString(portName);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (info.portName() != name && info.systemLocation() != name)
            continue;
        QString text = info.description();
        if (!info.manufacturer().isEmpty() && !text.contains(info.manufacturer()))
            text += (text.isEmpty() ? "" : " - ") + info.manufacturer();
        if (!info.serialNumber().isEmpty())
            text += (text.isEmpty() ? "" : " ") + QString("(%1)").arg(info.serialNumber());
        return text.trimmed().toStdString();
    }
    return std::string();
}
