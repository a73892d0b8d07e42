// The serial ports present: TCvComPort's listing and presence check, from the system's port
// enumeration (QSerialPortInfo).
#include "serial/CvComPort.h"

#include <QSerialPortInfo>

#include <cerrno>
#include <cstdlib>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#if !defined(_WIN32)
// The file a device name or path resolves to (links followed); empty when it does not exist.
std::string ResolvedDevice(const std::string& port)
{
    const std::string path = !port.empty() && port[0] == '/' ? port : "/dev/" + port;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return {};
    std::string out = real;
    std::free(real);
    return out;
}

// Whether an existing path is a terminal device. Opening is non-blocking and takes no
// controlling terminal; a device busy with another user (exclusive mode) still exists.
bool IsTerminalDevice(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;
    const bool tty = ::isatty(fd) == 1;
    ::close(fd);
    return tty;
}
#endif

} // namespace

void TCvComPort::GetPorts(std::vector<std::string>& ports)
{
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : infos)
        ports.push_back(info.portName().toStdString());
    PreparePortList(ports);
}

bool TCvComPort::CheckPortExists(const std::string& port)
{
    const std::string wanted = NormalizePortName(port);
    if (wanted.empty())
        return false;
    std::vector<std::string> ports;
    GetPorts(ports);
    for (const std::string& name : ports)
        if (NormalizePortName(name) == wanted)
            return true;
#if defined(_WIN32)
    return false;
#else
    // A path to a listed device (a /dev/serial/by-id link, /dev/ttyUSB0) or to a terminal
    // device the system does not list (a pseudo-terminal).
    const std::string device = ResolvedDevice(wanted);
    if (device.empty())
        return false;
    for (const std::string& name : ports)
        if (ResolvedDevice(name) == device)
            return true;
    return IsTerminalDevice(device);
#endif
}
