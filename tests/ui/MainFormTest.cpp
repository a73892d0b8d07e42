// The main window driven like an operator, against a simulated beacon on a real pseudo-terminal
// in this process: connecting, Info, Program with its progress, the factory configuration
// window, the recent files and the settings the window keeps.
#include "tests/ui/MainFormFixture.h"

namespace {

TEST_F(MainFormTest, CreationConnectsAndShowsTheProgramsIdentity)
{
    StartBeacon();
    WriteSettings("115200", "[Engineering]\nKey=SEAFLOOR\n");
    Open();
    ASSERT_NE(AppCore, nullptr);
    EXPECT_EQ(fForm->windowTitle().toStdString(), "Quorvan Programmer [Engineering]");
    const std::string version = Settings().AppInfo().FileVersion;
    EXPECT_EQ(Find<QLabel>("uVersionLbl")->text().toStdString(), version.empty() ? "Version Unknown" : "v" + version);
    EXPECT_EQ(Find<QLabel>("uWebLbl")->text().toStdString(), TQvMainFrm::WebText());
    EXPECT_GE(fForm->minimumWidth(), 420);
    EXPECT_GE(fForm->minimumHeight(), 420);
    EXPECT_FALSE(fForm->windowFlags() & Qt::WindowMaximizeButtonHint);

    // Only what was logged after the window subscribed shows: the connection, not the start-up.
    EXPECT_TRUE(AppCore->ComPort()->Connected());
    EXPECT_TRUE(LogHas("Opened serial port '" + BeaconPort() + "'")) << Log();
    EXPECT_FALSE(LogHas("starting")) << Log();
    EXPECT_FALSE(Find<QProgressBar>("uProgramBar")->isVisible());
    // The pseudo-terminal is not listed by the system, yet shows as the selected port.
    EXPECT_EQ(Find<QComboBox>("uCommsPortCombo")->currentText().toStdString(), BeaconPort());

    // The web link opens the product page through the shell.
    QTest::mouseClick(Find<QLabel>("uWebLbl"), Qt::LeftButton);
    ASSERT_EQ(fShellOpened.size(), 1u);
    EXPECT_EQ(fShellOpened[0], TQvMainFrm::WebAddress());
    Close();
    EXPECT_EQ(AppCore, nullptr);
}

TEST_F(MainFormTest, ConnectAndDisconnectSetTheControlsAsTheStateTableSays)
{
    StartBeacon();
    WriteSettings();
    const std::string fwx = Pack("app.fwx");
    Open();
    auto* port = Find<QComboBox>("uCommsPortCombo");
    auto* baud = Find<QComboBox>("uCommsBaudCombo");
    auto* connect = Find<QPushButton>("uConnectBtn");
    auto* program = Find<QPushButton>("uProgramBtn");
    auto* files = Find<QComboBox>("uFileList");

    struct Expect {
        bool Open;
        bool FileChosen;
    };
    auto check = [&](const Expect& e) {
        SCOPED_TRACE(std::string(e.Open ? "open" : "closed") + (e.FileChosen ? ", file" : ", no file"));
        EXPECT_EQ(AppCore->ComPort()->Connected(), e.Open);
        EXPECT_EQ(port->isEnabled(), !e.Open);
        EXPECT_EQ(baud->isEnabled(), !e.Open);
        EXPECT_EQ(Caption(connect), e.Open ? "Disconnect" : "Connect");
        EXPECT_EQ(program->isEnabled(), e.FileChosen);
        EXPECT_EQ(files->toolTip().toStdString(), e.FileChosen ? fwx : kNoFile);
        // Always usable, whatever the state.
        for (const char* name : {"uInfoBtn", "uHardwareBtn", "uFileBrowseBtn", "uFileList", "uProgramLog"})
            EXPECT_TRUE(Find<QWidget>(name)->isEnabled()) << name;
    };
    check({true, false});
    Click("uConnectBtn");
    check({false, false});
    EXPECT_TRUE(LogHas("Closed serial port")) << Log();
    Browse(fwx);
    check({false, true});
    Click("uConnectBtn");
    check({true, true});
    // The port closing by itself (the device went away) also refreshes the controls.
    AppCore->CommsDisconnect();
    check({false, true});
    EXPECT_TRUE(fErrors.empty()) << fErrors[0];
}

TEST_F(MainFormTest, AMissingPortLeavesNoSelectionAndTheClosedState)
{
    WriteSettings(); // no beacon: the port does not exist
    Open();
    EXPECT_EQ(Find<QComboBox>("uCommsPortCombo")->currentIndex(), -1);
    EXPECT_FALSE(AppCore->ComPort()->Connected());
    EXPECT_EQ(Caption(Find<QPushButton>("uConnectBtn")), "Connect");
    EXPECT_TRUE(Find<QComboBox>("uCommsPortCombo")->isEnabled());
    ASSERT_EQ(fErrors.size(), 1u);
    EXPECT_EQ(fErrors[0], "The serial port \"/dev/qv-no-such-port\" is not available, and cannot be opened.");

    // Info while disconnected tries to connect first; the engine then reports the closed port.
    Click("uInfoBtn");
    EXPECT_EQ(fErrors.size(), 2u);
    EXPECT_TRUE(LogHas("Opening serial port")) << Log();
    EXPECT_TRUE(LogHas("The serial comms port is not connected.")) << Log();
    EXPECT_FALSE(AppCore->ComPort()->Connected());
}

TEST_F(MainFormTest, InfoCopiesTheBeaconsIdentityAndCalibrationIntoTheSettings)
{
    TQvSimConfig config;
    config.State.Hardware = {1520, 7, 271828, 0x0011, 0x0002};
    config.State.Usbl.Valid = true;
    for (size_t i = 0; i < config.State.Usbl.Baseline.size(); ++i)
        config.State.Usbl.Baseline[i] = 0.25f * static_cast<float>(i) - 2.0f;
    StartBeacon(config);
    WriteSettings();
    Open();
    const std::string before = Log();
    EXPECT_FALSE(before.empty());
    const QString shownTitle = fForm->windowTitle();

    Click("uInfoBtn");
    EXPECT_FALSE(LogHas("Opened serial port")) << "the log view is emptied first";
    // Both replies are logged; the configuration reply comes last.
    ASSERT_TRUE(WaitForLog("Usbl Baseline 32:")) << Log();
    EXPECT_TRUE(LogHas("Device information...")) << Log();
    EXPECT_TRUE(LogHas("Hardware Serial Number = 271828")) << Log();

    const TQvCmdEngineeringConfig& c = Settings().Config();
    EXPECT_EQ(+c.Hardware.PartNumber, 1520);
    EXPECT_EQ(+c.Hardware.PartRevision, 7);
    EXPECT_EQ(+c.Hardware.SerialNumber, 271828u);
    EXPECT_EQ(+c.Hardware.FlagsSys, 0x0011);
    EXPECT_EQ(+c.Hardware.FlagsUser, 0x0002);
    EXPECT_TRUE(c.UsblCal.Valid);
    for (size_t i = 0; i < config.State.Usbl.Baseline.size(); ++i)
        EXPECT_EQ(+c.UsblCal.Baseline[i], +config.State.Usbl.Baseline[i]) << i;
    EXPECT_EQ(fForm->windowTitle(), shownTitle);
}

TEST_F(MainFormTest, ProgramMovesTheProgressBarToTheEndThenHidesIt)
{
    StartBeacon();
    WriteSettings();
    const std::string fwx = Pack("app.fwx", 3000);
    Open();
    Browse(fwx);
    auto* bar = Find<QProgressBar>("uProgramBar");
    std::vector<std::pair<int, bool>> seen; // value, visible
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) { seen.emplace_back(v, bar->isVisible()); });

    Click("uProgramBtn");
    ASSERT_TRUE(WaitForLog("Completed.", 30000)) << Log();
    EXPECT_FALSE(LogHas("Aborted.")) << Log();
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(fBeacon->Image(), fImage);

    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.back().first, 100);
    int last = -1;
    int shown = 0;
    for (const auto& [value, visible] : seen) {
        EXPECT_GE(value, last) << "the bar only moves forward";
        last = value;
        shown += visible;
    }
    EXPECT_GE(shown, 2) << "the bar is visible while blocks go out";
    // Controls are back in the connected state; the file stays selected.
    EXPECT_TRUE(Find<QPushButton>("uProgramBtn")->isEnabled());
    EXPECT_EQ(Caption(Find<QPushButton>("uConnectBtn")), "Disconnect");
}

TEST_F(MainFormTest, ConfigThenOkWritesTheConfigurationIntoTheBeacon)
{
    struct Case {
        bool Engineering;
        uint32_t Serial;        // what the beacon has afterwards
        uint16_t FlagsUser;
    };
    for (const Case& c : {Case{true, 777, 0x0002}, Case{false, 104857, 0x0002}}) {
        SCOPED_TRACE(c.Engineering ? "engineering" : "operator");
        StartBeacon();
        WriteSettings("115200", c.Engineering ? "[Engineering]\nKey=SEAFLOOR\nSerialNumber=104857\n" : "");
        Open();
        WithConfigForm([&](TQvConfigFrm& form) {
            auto* serial = form.findChild<QLineEdit*>("uSerialEdit");
            EXPECT_EQ(serial->isEnabled(), c.Engineering);
            if (c.Engineering) {
                TypeAndLeave(serial, "777");
                TypeAndLeave(form.findChild<QLineEdit*>("uBaseline10x3Edit"), "1.5");
            }
            QTest::mouseClick(form.findChild<QCheckBox*>("uFlagsMagSensDisableChk"), Qt::LeftButton);
            QTest::mouseClick(form.findChild<QPushButton*>("uOkBtn"), Qt::LeftButton);
        });
        EXPECT_EQ(+Settings().Config().Hardware.FlagsUser, 0x0002);
        ASSERT_TRUE(QTest::qWaitFor([&] { return fBeacon->State().Hardware.FlagsUser == c.FlagsUser; }, 10000))
            << Log();
        // The beacon is read back afterwards.
        ASSERT_TRUE(WaitForLog("Usbl Baseline 32:")) << Log();
        const TQvSimState state = fBeacon->State();
        EXPECT_EQ(+state.Hardware.SerialNumber, c.Serial);
        EXPECT_EQ(+state.Usbl.Baseline[3], c.Engineering ? 1.5f : 0.0f); // baseline 1-0, A
        // The read-back identity lands in the settings, as after Info.
        EXPECT_EQ(+Settings().Config().Hardware.SerialNumber, c.Serial);
        Close();
        fHost.reset();
        fBeacon.reset();
    }
}

TEST_F(MainFormTest, ConfigThenCancelChangesOnlyTheRememberedFolder)
{
    StartBeacon();
    WriteSettings("115200", "[Engineering]\nKey=SEAFLOOR\nSerialNumber=5150\n");
    Open();
    const TQvCmdEngineeringConfig before = Settings().Config();
    const uint32_t commands = fBeacon->CommandCount();
    const std::string folder = fEnv.Dir.File("configs/");
    std::filesystem::create_directories(folder);
    fSaveAnswer = folder + "005150_saved.ini";

    WithConfigForm([&](TQvConfigFrm& form) {
        EXPECT_EQ(+form.Config().Hardware.SerialNumber, 5150u);
        EXPECT_EQ(form.ConfigPath(), Settings().ConfigPath());
        TypeAndLeave(form.findChild<QLineEdit*>("uSerialEdit"), "999");
        EXPECT_EQ(+form.Config().Hardware.SerialNumber, 999u) << "typed, then discarded by Cancel";
        QTest::mouseClick(form.findChild<QPushButton*>("uSaveBtn"), Qt::LeftButton);
        QTest::mouseClick(form.findChild<QPushButton*>("uCancelBtn"), Qt::LeftButton);
    });
    EXPECT_TRUE(CvFileExists(fSaveAnswer));
    EXPECT_EQ(std::filesystem::path(Settings().ConfigPath()), std::filesystem::path(folder));
    EXPECT_EQ(+Settings().Config().Hardware.SerialNumber, +before.Hardware.SerialNumber);
    EXPECT_EQ(Settings().Config().UsblCal.Valid, before.UsblCal.Valid);
    // Nothing went to the beacon: the next two commands it counts are Info's.
    Click("uInfoBtn");
    ASSERT_TRUE(WaitForLog("Usbl Baseline 32:")) << Log();
    EXPECT_EQ(fBeacon->CommandCount(), commands + 2) << Log();
    EXPECT_EQ(+fBeacon->State().Hardware.SerialNumber, 104857u);
}

TEST_F(MainFormTest, RecentFilesKeepDeletedEntriesButDoNotSelectThem)
{
    StartBeacon();
    WriteSettings();
    const std::string first = Pack("first.fwx");
    const std::string second = Pack("second.fwx");
    Open();
    auto* files = Find<QComboBox>("uFileList");
    Browse(first);
    Browse(second);
    ASSERT_EQ(files->count(), 2);
    EXPECT_EQ(files->currentIndex(), 0);
    EXPECT_EQ(files->toolTip().toStdString(), second);
    EXPECT_EQ(fOpenRequests.back().Title, "Choose a Firmware File...");
    EXPECT_EQ(fOpenRequests.back().DefaultExt, "fwx");
    EXPECT_TRUE(fOpenRequests.back().MustExist);
    EXPECT_EQ(fOpenRequests.back().FileName, "first.fwx") << "the dialog starts at the chosen file";

    // Choosing the older file from the list moves it to the top.
    files->setFocus();
    QTest::keyClick(files, Qt::Key_Down);
    EXPECT_EQ(fForm->Filename(), first);
    EXPECT_EQ(files->currentIndex(), 0);
    EXPECT_EQ(files->toolTip().toStdString(), first);

    // A file deleted meanwhile: nothing selected, Program disabled, still listed.
    std::filesystem::remove(second);
    QTest::keyClick(files, Qt::Key_Down);
    EXPECT_EQ(files->currentIndex(), -1);
    EXPECT_EQ(files->count(), 2);
    EXPECT_FALSE(Find<QPushButton>("uProgramBtn")->isEnabled());
    EXPECT_EQ(files->toolTip().toStdString(), kNoFile);
    EXPECT_EQ(fForm->Filename(), "");
    // Program does nothing without a valid file (beyond keeping the connection).
    const uint32_t commands = fBeacon->CommandCount();
    QMetaObject::invokeMethod(Find<QPushButton>("uProgramBtn"), "click");
    EXPECT_EQ(fBeacon->CommandCount(), commands);
}

TEST_F(MainFormTest, AFirmwareFileDroppedOnTheWindowIsChosen)
{
    StartBeacon();
    WriteSettings();
    const std::string fwx = Pack("dropped.fwx");
    const std::string other = fEnv.Dir.File("notes.txt");
    FwWriteFile(other, "not firmware");
    Open();
    for (const auto& [path, taken] : {std::pair{other, false}, std::pair{fwx, true}}) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        QDragEnterEvent enter(QPoint(100, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(fForm.get(), &enter);
        EXPECT_EQ(enter.isAccepted(), taken) << path;
        QDropEvent drop(QPointF(100, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(fForm.get(), &drop);
        EXPECT_EQ(fForm->Filename(), taken ? path : "") << path;
    }
    EXPECT_EQ(Find<QComboBox>("uFileList")->toolTip().toStdString(), fwx);
}

TEST_F(MainFormTest, ThePerRunCommandLineIsUsedButNotSaved)
{
    // As a file manager or a script starts the program: a package, the beacon's port and rate for
    // this run, and switches and words the program does not know.
    StartBeacon();
    const std::string fwx = Pack("opened.fwx");
    FwWriteFile(fEnv.Dir.File("qvprog.ini"), "[Communications]\nPort=/dev/qv-stored\nBaudRate=9600\n");
    fEnv.SetArgs({"-FOO", fwx, "-PORT=" + BeaconPort(), "/BAUD:57600", "stray"});
    Open();
    EXPECT_TRUE(AppCore->ComPort()->Connected());
    EXPECT_EQ(AppCore->ComPort()->BaudRate(), br57600);
    EXPECT_EQ(Find<QComboBox>("uCommsPortCombo")->currentText().toStdString(), BeaconPort());
    EXPECT_EQ(Find<QComboBox>("uCommsBaudCombo")->currentText(), "57600");
    EXPECT_EQ(fForm->Filename(), fwx);
    EXPECT_TRUE(Find<QPushButton>("uProgramBtn")->isEnabled());
    Close();
    std::string ini = FwReadFile(fEnv.Dir.File("qvprog.ini"));
    EXPECT_NE(ini.find("Port=/dev/qv-stored"), std::string::npos) << ini;
    EXPECT_NE(ini.find("BaudRate=9600"), std::string::npos) << ini;
    EXPECT_NE(ini.find("RecentFile(1)=" + fwx), std::string::npos) << "chosen as with Browse\n" << ini;

    // A rate chosen in the window is saved as before; the run's port still is not.
    Open();
    Click("uConnectBtn");
    auto* baud = Find<QComboBox>("uCommsBaudCombo");
    baud->setFocus();
    QTest::keyClick(baud, Qt::Key_End);
    EXPECT_EQ(baud->currentText(), "115200");
    Close();
    ini = FwReadFile(fEnv.Dir.File("qvprog.ini"));
    EXPECT_NE(ini.find("Port=/dev/qv-stored"), std::string::npos) << ini;
    EXPECT_NE(ini.find("BaudRate=115200"), std::string::npos) << ini;
}

TEST_F(MainFormTest, AStoredBaudRateOutsideTheListShowsTheFirstItemAndStillConnects)
{
    StartBeacon();
    WriteSettings("38400");
    Open();
    auto* baud = Find<QComboBox>("uCommsBaudCombo");
    EXPECT_EQ(baud->currentText(), "4800");
    ASSERT_TRUE(AppCore->ComPort()->Connected());
    EXPECT_EQ(AppCore->ComPort()->BaudRate(), br38400);
    EXPECT_EQ(Settings().SerialPort().fBaudRate, br38400);

    // Choosing an item replaces the stored rate; it is used at the next connect.
    Click("uConnectBtn");
    baud->setFocus();
    for (const auto& [key, text, rate] : {std::tuple{Qt::Key_End, "115200", br115200},
                                          std::tuple{Qt::Key_Up, "57600", br57600}}) {
        QTest::keyClick(baud, key);
        EXPECT_EQ(baud->currentText(), text);
        EXPECT_EQ(Settings().SerialPort().fBaudRate, rate) << text;
    }
    Click("uConnectBtn");
    EXPECT_EQ(AppCore->ComPort()->BaudRate(), br57600);
}

TEST_F(MainFormTest, LongPathsShowTheRootTheLastFoldersAndTheFileName)
{
    StartBeacon();
    WriteSettings();
    std::string folder = fEnv.Dir.Path();
    for (const char* name : {"customer-projects", "north-sea-survey-2026", "beacon-firmware-releases",
                             "application-section", "release-candidates", "final"})
        folder += std::string(name) + "/";
    std::filesystem::create_directories(folder);
    const std::string fwx = folder + "beacon_app_v2.fwx";
    std::filesystem::copy_file(Pack("tmp.fwx"), fwx);
    Open();
    Browse(fwx);
    auto* files = Find<QComboBox>("uFileList");
    const QFontMetrics fm(fForm->font());
    auto shown = [&] { return files->itemText(0).toStdString(); };
    auto fits = [&] { return fm.horizontalAdvance(files->itemText(0)) <= files->width() - 25; };

    ASSERT_TRUE(QTest::qWaitFor(fits, 2000)) << shown();
    const std::string narrow = shown();
    EXPECT_EQ(narrow.rfind("/.../", 0), 0u) << narrow;
    EXPECT_TRUE(narrow.ends_with("/final/beacon_app_v2.fwx")) << narrow;
    EXPECT_LT(narrow.size(), fwx.size());
    EXPECT_EQ(files->toolTip().toStdString(), fwx);

    // A wider window shows more of the path once the resize settles.
    fForm->resize(fForm->width() + 300, fForm->height());
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown().size() > narrow.size(); }, 2000)) << shown();
    EXPECT_TRUE(fits()) << shown();
    EXPECT_TRUE(shown().ends_with(narrow.substr(4))) << shown();
}

TEST_F(MainFormTest, DoubleClickEmptiesTheLogAndNewEntriesStillAppear)
{
    StartBeacon();
    WriteSettings();
    Open();
    auto* log = Find<QPlainTextEdit>("uProgramLog");
    ASSERT_FALSE(log->toPlainText().isEmpty());
    QTest::mouseDClick(log->viewport(), Qt::LeftButton);
    EXPECT_TRUE(log->toPlainText().isEmpty());
    Click("uConnectBtn");
    EXPECT_TRUE(LogHas("Closing serial port '" + BeaconPort() + "'.")) << Log();
}

TEST_F(MainFormTest, ClosingStoresThePlacementAndTheSettings)
{
    StartBeacon();
    WriteSettings();
    const std::string fwx = Pack("kept.fwx");
    Open();
    Browse(fwx);
    fForm->setGeometry(40, 50, 520, 660);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fForm->width() == 520; }, 2000));
    Close();
    EXPECT_EQ(AppCore, nullptr);
    const std::string ini = FwReadFile(fEnv.Dir.File("qvprog.ini"));
    EXPECT_NE(ini.find("RecentFile(1)=" + fwx), std::string::npos) << ini;
    EXPECT_NE(ini.find("Id=MAIN"), std::string::npos) << ini;

    Open();
    EXPECT_EQ(fForm->size(), QSize(520, 660));
    EXPECT_EQ(fForm->Filename(), fwx) << "the first recent file is chosen again";
    EXPECT_TRUE(Find<QPushButton>("uProgramBtn")->isEnabled());
}

TEST_F(MainFormTest, KeyboardReachesEveryOperation)
{
    StartBeacon();
    WriteSettings();
    Open();
    // Mnemonics: Alt with the underlined letter presses the button (shown pressed for a moment,
    // so its click follows shortly) or focuses the list.
    QTest::keyClick(fForm.get(), Qt::Key_I, Qt::AltModifier);
    EXPECT_TRUE(WaitForLog("Usbl Baseline 32:")) << Log();
    QTest::keyClick(fForm.get(), Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([] { return !AppCore->ComPort()->Connected(); }, 2000));
    QTest::keyClick(fForm.get(), Qt::Key_W, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([this] { return fOpenRequests.size() == 1; }, 2000));
    QTest::keyClick(fForm.get(), Qt::Key_B, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>("uCommsBaudCombo"));

    // Typing on the port list opens it (read afresh) rather than picking a port unseen.
    auto* port = Find<QComboBox>("uCommsPortCombo");
    QTest::keyClick(fForm.get(), Qt::Key_O, Qt::AltModifier);
    ASSERT_EQ(QApplication::focusWidget(), port);
    QTest::keyClicks(port, "t");
    EXPECT_TRUE(QTest::qWaitFor([port] { return port->view()->isVisible(); }, 2000));
    EXPECT_EQ(port->currentText().toStdString(), BeaconPort());
    EXPECT_EQ(Settings().SerialPort().PortName(), BeaconPort());
    port->hidePopup();
}

} // namespace
