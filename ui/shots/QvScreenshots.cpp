// quorvan-screenshots: takes pictures of the program's two windows for the documentation. The
// real windows and the real application core run in a scratch program folder against a
// simulated beacon on a pseudo-terminal; the main window is taken after reading the beacon (Info),
// half-way through programming the demo package, when that run has completed and after a run that
// aborted, and the factory window is shown as it opens after Info. Runs offscreen (QT_QPA_PLATFORM=offscreen) or on any display.
//
//     quorvan-screenshots OUTPUT_FOLDER DEMO_FWX
//     quorvan-screenshots --icons ICON_THEME_FOLDER    the program icon as hicolor PNGs
#include "app/QvApp.h"
#include "app/QvSettings.h"
#include "framework/CvApp.h"
#include "framework/CvFiles.h"
#include "framework/qt/CvQtTimerService.h"
#include "tools/sim/QvSimBeacon.h"
#include "tools/simqt/QvSimHost.h"
#include "ui/QvConfigForm.h"
#include "ui/QvMainForm.h"
#include "ui/QvOutcomePanel.h"
#include "ui/QvPictures.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <string>

namespace {

// Runs the event loop until `done` holds; false after `ms`.
bool WaitUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer tick;
    tick.start(20); // wakes the loop so `done` is looked at again
    while (!done()) {
        if (elapsed.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool Save(QWidget& window, const QString& path)
{
    QCoreApplication::processEvents();
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "Cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

int Fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    return 1;
}

// The drawn emblem as the desktop's icon files: <folder>/<n>x<n>/apps/quorvan-programmer.png.
int WriteIcons(const QString& folder)
{
    for (int size : {32, 48, 64, 128, 256}) {
        const QString dir = QString("%1/%2x%2/apps").arg(folder).arg(size);
        QPixmap pix(size, size);
        pix.fill(Qt::transparent);
        QPainter p(&pix);
        p.setRenderHint(QPainter::Antialiasing);
        TQvPictures::PaintEmblem(p, QRectF(0, 0, size, size));
        p.end();
        const QString path = dir + "/quorvan-programmer.png";
        if (!QDir().mkpath(dir) || !pix.save(path))
            return Fail("Cannot write the icon files.");
        std::printf("%s\n", qPrintable(path));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--icons")
        return WriteIcons(QString::fromLocal8Bit(argv[2]));
    if (argc != 3)
        return Fail("usage: quorvan-screenshots OUTPUT_FOLDER DEMO_FWX | --icons FOLDER");
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString demo = QString::fromLocal8Bit(argv[2]);
    if (!QDir().mkpath(out))
        return Fail("Cannot create the output folder.");
    QApplication::setApplicationName("Quorvan Programmer");
    QApplication::setWindowIcon(TQvPictures::AppIcon());

    // A scratch program folder: settings file, log and a firmware folder of its own.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return Fail("Cannot create a temporary folder.");
    const std::string dir = scratch.path().toStdString() + "/";
    const std::string firmware = dir + "Firmware/Quorvan 1520/";
    QDir().mkpath(QString::fromStdString(firmware));
    const std::string fwx = firmware + "beacon_app_v2.5.0.fwx";
    if (!QFile::copy(demo, QString::fromStdString(fwx)))
        return Fail("Cannot copy the demo package.");
    TCvApp::SetAppExeFileName(dir + "quorvan-programmer");
    TCvApp::SetAppTitle("Quorvan Programmer");
    TCvApp::SetCmdLine({dir + "quorvan-programmer"});

    TCvQtTimerService timers;
    TCvTimerServiceScope scope(&timers);
    TQvSimConfig config;
    config.RebootMs = 500;
    config.Baud = 115200; // real line pacing, so programming can be caught half-way
    config.State.Usbl.Valid = true;
    const float baselines[6][4] = {{0.0125f, -0.0031f, 1.0004f, 0.0f}, {-0.0087f, 0.0012f, 0.9991f, 0.0f},
                                   {0.0044f, 0.0006f, 1.0011f, 0.0f},  {0.0102f, -0.0018f, 0.9987f, 0.0f},
                                   {-0.0029f, 0.0024f, 1.0002f, 0.0f}, {0.0061f, -0.0009f, 0.9996f, 0.0f}};
    for (int k = 0; k < 6; ++k)
        for (int c = 0; c < 4; ++c)
            config.State.Usbl.Baseline[static_cast<size_t>(k * 4 + (3 - c))] = baselines[k][c]; // stored D, C, B, A
    TQvSimBeacon beacon(config);
    TQvSimHost host(beacon);
    std::string error;
    if (!host.OpenPty(error))
        return Fail(error.c_str());
    const std::string ini = "[Engineering]\nKey=SEAFLOOR\n[Files]\nRecentFile(1)=" + fwx
                            + "\n[Communications]\nPort=" + host.DevicePath() + "\nBaudRate=115200\n";
    QFile iniFile(QString::fromStdString(dir + "quorvan-programmer.ini"));
    if (!iniFile.open(QIODevice::WriteOnly) || iniFile.write(ini.c_str()) < 0)
        return Fail("Cannot write the settings file.");
    iniFile.close();

    int result = 0;
    {
        TQvMainFrm form;
        form.show();
        form.activateWindow();
        WaitUntil([&] { return form.isActiveWindow(); }, 5000);

        // Info, then Program caught half-way, with the bar showing.
        form.findChild<QPushButton*>("uInfoBtn")->click();
        auto* outcome = form.findChild<TQvOutcomePanel*>("uOutcomePnl");
        if (!WaitUntil([&] { return outcome->Mark() == MARK_DONE; }, 10000))
            return Fail("The beacon did not answer Info.");
        if (!Save(form, out + "/main-window.png"))
            result = 1;
        auto* bar = form.findChild<QProgressBar*>("uProgramBar");
        form.findChild<QPushButton*>("uProgramBtn")->click();
        if (!WaitUntil([&] { return bar->isVisible() && bar->value() >= 45 && outcome->Text().contains(" left"); },
                       30000))
            return Fail("Programming did not start.");
        if (!Save(form, out + "/main-window-programming.png"))
            result = 1;
        if (!WaitUntil([&] { return outcome->Mark() == MARK_DONE || outcome->Mark() == MARK_ERROR; }, 60000))
            return Fail("Programming did not finish.");
        if (!Save(form, out + "/main-window-completed.png"))
            result = 1;

        // A run that aborts: a second beacon that loses the 30th block.
        TQvSimConfig lossy = config;
        TQvSimSelector lost;
        if (!TQvSimSelector::Parse("PROG_BLOCK:30", lost, error))
            return Fail(error.c_str());
        lossy.Faults.Drop.push_back(lost);
        TQvSimBeacon lossyBeacon(lossy);
        TQvSimHost lossyHost(lossyBeacon);
        if (!lossyHost.OpenPty(error))
            return Fail(error.c_str());
        auto* connect = form.findChild<QPushButton*>("uConnectBtn");
        connect->click(); // disconnect
        AppCore->Settings()->SerialPort().SetPortName(lossyHost.DevicePath());
        auto* ports = form.findChild<QComboBox*>("uCommsPortCombo");
        ports->showPopup(); // the list is read afresh as it opens
        ports->hidePopup();
        connect->click();
        form.findChild<QPushButton*>("uProgramBtn")->click();
        if (!WaitUntil([&] { return outcome->Mark() == MARK_ERROR; }, 60000))
            return Fail("Programming did not abort.");
        if (!Save(form, out + "/main-window-aborted.png"))
            result = 1;
        connect->click();
        AppCore->Settings()->SerialPort().SetPortName(host.DevicePath());
        connect->click();

        // The factory window as it opens after Info: the beacon's identity and calibration.
        TQvConfigFrm configForm(&form);
        configForm.SetConfig(AppCore->Settings()->Config());
        configForm.SetConfigPath(AppCore->Settings()->ConfigPath());
        configForm.show();
        configForm.activateWindow();
        WaitUntil([&] { return configForm.isActiveWindow(); }, 5000);
        if (!Save(configForm, out + "/factory-config.png"))
            result = 1;
        configForm.reject();
    }
    return result;
}
