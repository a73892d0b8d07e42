// The main window's test fixture: a simulated beacon on a real pseudo-terminal in this process,
// the settings file the window starts with, the replaceable dialogs answering as a test says,
// and helpers that drive the window like an operator.
#pragma once

#include "ui/QvMainForm.h"
#include "tests/ui/UiTyping.h"

#include "app/QvApp.h"
#include "app/QvDialogs.h"
#include "app/QvSettings.h"
#include "framework/CvApp.h"
#include "framework/CvFiles.h"
#include "framework/qt/CvQtTimerService.h"
#include "serial/ComPort.h"
#include "tools/fwxpack/QvFwxPack.h"
#include "tools/sim/QvSimBeacon.h"
#include "tools/simqt/QvSimHost.h"
#include "ui/QvConfigForm.h"

#include "tests/framework/FwTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QAbstractItemView>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <tuple>

inline const char* const kNoFile = "No firmware file selected.";

class MainFormTest : public testing::Test {
protected:
    void SetUp() override
    {
        fSavedDialogs = QvDialogs();
        QvDialogs().ShowError = [this](const std::string& text, const std::string&) { fErrors.push_back(text); };
        QvDialogs().Confirm = [this](const std::string& text) {
            fQuestions.push_back(text);
            return fConfirmAnswer;
        };
        QvDialogs().OpenFile = [this](const TQvFileDialogParams& p) {
            fOpenRequests.push_back(p);
            return fOpenAnswer;
        };
        QvDialogs().SaveFile = [this](const TQvFileDialogParams&) { return fSaveAnswer; };
        TCvApp::SetShellOpenFunction([this](const std::string& target) { fShellOpened.push_back(target); });
    }
    void TearDown() override
    {
        fForm.reset();
        TCvApp::SetShellOpenFunction(nullptr);
        QvDialogs() = fSavedDialogs;
    }

    // Puts the simulated beacon on a new pseudo-terminal.
    void StartBeacon(const TQvSimConfig& config = TQvSimConfig())
    {
        TQvSimConfig c = config;
        c.RebootMs = 300;
        fBeacon = std::make_unique<TQvSimBeacon>(c);
        fHost = std::make_unique<TQvSimHost>(*fBeacon);
        std::string error;
        ASSERT_TRUE(fHost->OpenPty(error)) << error;
    }
    std::string BeaconPort() const { return fHost ? fHost->DevicePath() : "/dev/qv-no-such-port"; }

    // The settings file the window starts with: the beacon's port and the given extra lines.
    void WriteSettings(const std::string& baud = "115200", const std::string& extra = "")
    {
        FwWriteFile(fEnv.Dir.File("qvprog.ini"),
                    "[Communications]\nPort=" + BeaconPort() + "\nBaudRate=" + baud + "\n" + extra);
    }

    // Creates the window and shows it, active, at its design size.
    void Open()
    {
        fForm = std::make_unique<TQvMainFrm>();
        fForm->show();
        fForm->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == fForm.get(); }, 5000));
    }
    void Close()
    {
        fForm.reset();
    }

    template <typename T>
    T* Find(const char* name)
    {
        T* w = fForm->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
    std::string Log() { return Find<QPlainTextEdit>("uProgramLog")->toPlainText().toStdString(); }
    bool LogHas(const std::string& part) { return Log().find(part) != std::string::npos; }
    bool WaitForLog(const std::string& part, int ms = 10000)
    {
        return QTest::qWaitFor([&] { return LogHas(part); }, ms);
    }
    static std::string Caption(QPushButton* b) { return b->text().remove('&').toStdString(); }
    TQvSettings& Settings() { return *AppCore->Settings(); }

    // A package of a deterministic image in the test folder.
    std::string Pack(const std::string& name, size_t size = 3000)
    {
        fImage.clear();
        for (size_t i = 0; i < size; ++i)
            fImage.push_back(static_cast<uint8_t>((i * 7 + 3) & 0xFF));
        const std::string path = fEnv.Dir.File(name);
        std::string error;
        EXPECT_TRUE(TQvFwxPack::WriteFile(path, fImage, TQvFwxPackOptions(), error)) << error;
        return path;
    }
    // Chooses a file through the Browse button's dialog.
    void Browse(const std::string& path)
    {
        fOpenAnswer = path;
        Click("uFileBrowseBtn");
        fOpenAnswer.clear();
    }

    // Runs `act` on the factory configuration window once it is shown modally; the window
    // must have closed again before this returns.
    void WithConfigForm(const std::function<void(TQvConfigFrm&)>& act)
    {
        bool ran = false;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* form = qobject_cast<TQvConfigFrm*>(QApplication::activeModalWidget());
            if (!form || ran)
                return;
            ran = true;
            poll.stop();
            form->activateWindow();
            EXPECT_TRUE(QTest::qWaitFor([form] { return QApplication::activeWindow() == form; }, 5000));
            act(*form);
            if (form->isVisible()) {
                ADD_FAILURE() << "the configuration window is still open";
                form->reject();
            }
        });
        poll.start();
        Click("uHardwareBtn");
        EXPECT_TRUE(ran) << "the configuration window did not open";
    }
    static void TypeAndLeave(QWidget* control, const QString& text) { QvTypeAndLeave(control, text); }

    TFwAppEnv fEnv;
    TCvQtTimerService fTimers;
    TCvTimerServiceScope fTimerScope{&fTimers};
    std::unique_ptr<TQvSimBeacon> fBeacon;
    std::unique_ptr<TQvSimHost> fHost;
    std::unique_ptr<TQvMainFrm> fForm;
    std::vector<uint8_t> fImage;
    TQvDialogs fSavedDialogs;
    std::vector<std::string> fErrors;
    std::vector<std::string> fQuestions;
    bool fConfirmAnswer = false;
    std::vector<TQvFileDialogParams> fOpenRequests;
    std::string fOpenAnswer;
    std::string fSaveAnswer;
    std::vector<std::string> fShellOpened;
};

