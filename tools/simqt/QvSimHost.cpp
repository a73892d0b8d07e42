#include "tools/simqt/QvSimHost.h"

#include "framework/CvFormat.h"
#include "tools/sim/QvSimBeacon.h"

#include <QSocketNotifier>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {
std::string Errno(const char* what)
{
    return CvFormat("%s: %s", what, std::string(std::strerror(errno)));
}

speed_t SpeedOf(uint32_t baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return 0;
    }
}

bool MakeRaw(int fd, uint32_t baud, std::string& error)
{
    termios t {};
    if (::tcgetattr(fd, &t) != 0) {
        error = Errno("cannot read the line settings");
        return false;
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    if (baud) {
        const speed_t speed = SpeedOf(baud);
        if (!speed) {
            error = CvFormat("baud rate %u is not a standard device speed", baud);
            return false;
        }
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
    }
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        error = Errno("cannot set the line settings");
        return false;
    }
    return true;
}
} // namespace

TQvSimHost::TQvSimHost(TQvSimBeacon& beacon, QObject* parent)
    : QObject(parent)
    , fBeacon(beacon)
{
    fBeacon.SetOnOutput(TCvEvent<TQvSimOutputParams>(this, &TQvSimHost::OnBeaconOutput));
    fBeacon.SetOnClose(TCvEvent<TQvSimBeaconParams>(this, &TQvSimHost::OnBeaconClose));
}

TQvSimHost::~TQvSimHost()
{
    fBeacon.SetOnOutput({});
    fBeacon.SetOnClose({});
    Close();
    RemoveLink();
}

bool TQvSimHost::OpenPty(std::string& error)
{
    Close();
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0) {
        error = Errno("cannot open a pseudo-terminal");
        return false;
    }
    char name[PATH_MAX] = {};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
        error = Errno("cannot prepare the pseudo-terminal");
        ::close(master);
        return false;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0) {
        error = Errno("cannot open the pseudo-terminal's slave");
        ::close(master);
        return false;
    }
    // Raw, so CR and LF pass untouched and nothing is echoed.
    if (!MakeRaw(slave, 0, error)) {
        ::close(slave);
        ::close(master);
        return false;
    }
    fSlaveFd = slave;
    fPath = name;
    return Attach(master, error);
}

bool TQvSimHost::OpenDevice(const std::string& path, uint32_t baud, std::string& error)
{
    Close();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = Errno(CvFormat("cannot open \"%s\"", path).c_str());
        return false;
    }
    if (!::isatty(fd)) {
        error = CvFormat("\"%s\" is not a terminal device", path);
        ::close(fd);
        return false;
    }
    if (!MakeRaw(fd, baud, error)) {
        ::close(fd);
        return false;
    }
    ::tcflush(fd, TCIOFLUSH);
    fPath = path;
    return Attach(fd, error);
}

bool TQvSimHost::Attach(int fd, std::string&)
{
    fFd = fd;
    fReadNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(fReadNotifier, &QSocketNotifier::activated, this, [this] { OnReadable(); });
    fWriteNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    fWriteNotifier->setEnabled(false);
    connect(fWriteNotifier, &QSocketNotifier::activated, this, [this] { OnWritable(); });
    return true;
}

bool TQvSimHost::MakeLink(const std::string& path, std::string& error)
{
    if (fSlaveFd < 0) {
        error = "a link needs an open pseudo-terminal";
        return false;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = CvFormat("\"%s\" exists and is not a symbolic link; not replacing it", path);
            return false;
        }
        ::unlink(path.c_str());
    }
    if (::symlink(fPath.c_str(), path.c_str()) != 0) {
        error = Errno(CvFormat("cannot make the link \"%s\"", path).c_str());
        return false;
    }
    fLink = path;
    return true;
}

void TQvSimHost::RemoveLink()
{
    if (fLink.empty())
        return;
    // Only our own link: another simulator may have taken the name over since.
    char target[PATH_MAX] = {};
    const ssize_t n = ::readlink(fLink.c_str(), target, sizeof target - 1);
    if (n > 0 && fPath == std::string(target, static_cast<size_t>(n)))
        ::unlink(fLink.c_str());
    fLink.clear();
}

void TQvSimHost::Close()
{
    const bool wasOpen = fFd >= 0;
    // Notifiers may be closed from inside their own handler: delete them once control returns.
    for (QSocketNotifier** n : {&fReadNotifier, &fWriteNotifier})
        if (*n) {
            (*n)->setEnabled(false);
            (*n)->deleteLater();
            *n = nullptr;
        }
    if (fFd >= 0)
        ::close(fFd);
    if (fSlaveFd >= 0)
        ::close(fSlaveFd);
    fFd = -1;
    fSlaveFd = -1;
    fPending.clear();
    if (wasOpen)
        emit DeviceClosed();
}

void TQvSimHost::OnReadable()
{
    uint8_t buf[65536];
    while (fFd >= 0) {
        const ssize_t n = ::read(fFd, buf, sizeof buf);
        if (n > 0) {
            fBeacon.Input(buf, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        Close(); // end of file or an error: the device went away
        return;
    }
}

void TQvSimHost::OnBeaconOutput(TQvSimOutputParams& p)
{
    if (fFd < 0)
        return;
    const size_t room = fPending.size() < MaxPendingOutput ? MaxPendingOutput - fPending.size() : 0;
    const size_t take = p.Count < room ? p.Count : room;
    fPending.append(reinterpret_cast<const char*>(p.Data), take);
    fDroppedOutput += p.Count - take;
    Flush();
}

void TQvSimHost::OnBeaconClose(TQvSimBeaconParams&)
{
    Close();
}

void TQvSimHost::Flush()
{
    while (fFd >= 0 && !fPending.empty()) {
        const ssize_t n = ::write(fFd, fPending.data(), fPending.size());
        if (n > 0) {
            fPending.erase(0, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            fWriteNotifier->setEnabled(true);
            return;
        }
        Close();
        return;
    }
    if (fWriteNotifier)
        fWriteNotifier->setEnabled(false);
}

void TQvSimHost::OnWritable()
{
    Flush();
}
