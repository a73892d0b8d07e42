// TQvSimHost: puts a TQvSimBeacon on a real device: a new pseudo-terminal (the program under
// test opens its slave path) or an existing serial device. Reads wake on a QSocketNotifier on
// the main thread; the beacon's output is written without blocking.
#pragma once

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>

class QSocketNotifier;
class TQvSimBeacon;
struct TQvSimOutputParams;
struct TQvSimBeaconParams;

class TQvSimHost : public QObject {
    Q_OBJECT
public:
    // Output waiting beyond this (a reader that stopped reading) is dropped.
    static constexpr size_t MaxPendingOutput = 4 << 20;

    explicit TQvSimHost(TQvSimBeacon& beacon, QObject* parent = nullptr);
    ~TQvSimHost() override;

    // Opens a pseudo-terminal in raw mode; DevicePath() is then its slave. The slave stays open
    // here too, so the master never sees a hang-up while the program is not connected.
    bool OpenPty(std::string& error);
    // Opens an existing serial device in raw mode, at `baud` when it is not 0.
    bool OpenDevice(const std::string& path, uint32_t baud, std::string& error);
    // Makes `path` a symbolic link to the pseudo-terminal (replacing an older link there).
    bool MakeLink(const std::string& path, std::string& error);
    void Close();

    bool IsOpen() const { return fFd >= 0; }
    const std::string& DevicePath() const { return fPath; }
    size_t DroppedOutput() const { return fDroppedOutput; }

signals:
    // The device was closed: by the beacon (fault injection) or because it went away.
    void DeviceClosed();

private:
    bool Attach(int fd, std::string& error);
    void OnReadable();
    void OnWritable();
    void Flush();
    void OnBeaconOutput(TQvSimOutputParams& p);
    void OnBeaconClose(TQvSimBeaconParams& p);
    void RemoveLink();

    TQvSimBeacon& fBeacon;
    int fFd = -1;
    int fSlaveFd = -1;
    std::string fPath;
    std::string fLink;
    std::string fPending;
    size_t fDroppedOutput = 0;
    QSocketNotifier* fReadNotifier = nullptr;
    QSocketNotifier* fWriteNotifier = nullptr;
};
