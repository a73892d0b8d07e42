// The main window in everyday use against a simulated beacon: values shown whole and written
// whole, window titles, the log view with wide lines and its font, the placement on the desktop,
// and closing the window while the beacon is being programmed.
#include "tests/ui/MainFormFixture.h"

#include "flashprog/QvFlashProg.h"
#include "framework/CvAppLog.h"
#include "framework/CvFormat.h"
#include "ui/QvDesktopIdentity.h"
#include "ui/QvLogView.h"
#include "ui/QvMarks.h"
#include "ui/QvOutcomePanel.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace {

TEST_F(MainFormTest, ASerialNumberLoadedFromAFileReachesTheBeaconWhole)
{
    StartBeacon();
    WriteSettings("115200", "[Engineering]\nKey=SEAFLOOR\n");
    const std::string file = fEnv.Dir.File("long-serial.ini");
    FwWriteFile(file, "[Hardware]\nLoad=1\nPartNumber=20300\nPartRevision=4\nSerialNumber=1234567\n"
                      "FlagsSys=0\nFlagsUser=0\n");
    Open();
    WithConfigForm([&](TQvConfigFrm& form) {
        fOpenAnswer = file;
        QTest::mouseClick(form.findChild<QPushButton*>("uLoadBtn"), Qt::LeftButton);
        fOpenAnswer.clear();
        auto* serial = form.findChild<QLineEdit*>("uSerialEdit");
        EXPECT_EQ(serial->text().toStdString(), "1234567");
        // Into the box and out again without typing: the value stays as loaded.
        QTest::mouseClick(serial, Qt::LeftButton);
        QTest::mouseClick(form.findChild<QLineEdit*>("uBaseline10x3Edit"), Qt::LeftButton);
        EXPECT_EQ(serial->text().toStdString(), "1234567");
        EXPECT_EQ(+form.Config().Hardware.SerialNumber, 1234567u);
        QTest::mouseClick(form.findChild<QPushButton*>("uOkBtn"), Qt::LeftButton);
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return fBeacon->State().Hardware.SerialNumber == 1234567u; }, 10000))
        << fBeacon->State().Hardware.SerialNumber << "\n" << Log();
    ASSERT_TRUE(WaitForLog("Hardware Serial Number = 1234567")) << Log();
    EXPECT_EQ(+Settings().Config().Hardware.SerialNumber, 1234567u);
}

TEST_F(MainFormTest, EveryWindowTitleIsExactlyItsCaption)
{
    // The window systems append an application display name, when the program sets one, to
    // every window title; the titles here already carry the program's name.
    QvSetDesktopIdentity("Quorvan Programmer");
    QApplication::setApplicationName("probe");
    const QString displayName = QGuiApplication::applicationDisplayName();
    QvSetDesktopIdentity("Quorvan Programmer");
    EXPECT_EQ(displayName.toStdString(), "probe") << "a display name is set: titles read \"... — Quorvan Programmer\"";

    StartBeacon();
    WriteSettings("115200", "[Engineering]\nKey=SEAFLOOR\n");
    Open();
    EXPECT_EQ(fForm->windowTitle().toStdString(), "Quorvan Programmer [Engineering]");
    WithConfigForm([](TQvConfigFrm& form) {
        EXPECT_EQ(form.windowTitle().toStdString(), "Factory Config");
        form.reject();
    });
    Click("uFileBrowseBtn");
    ASSERT_EQ(fOpenRequests.size(), 1u);
    EXPECT_EQ(fOpenRequests[0].Title, "Choose a Firmware File...");
}

TEST_F(MainFormTest, TheLogShowsTheStartOfLinesWiderThanTheView)
{
    StartBeacon();
    WriteSettings();
    const std::string wide = "Opening serial port '" + std::string(400, 'x') + "'...";
    fForm = std::make_unique<TQvMainFrm>();
    AppLog->Add(logInfo, wide); // arrives before the window is shown
    fForm->show();
    fForm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(fForm.get()));
    auto* log = Find<QPlainTextEdit>("uProgramLog");
    QScrollBar* sideways = log->horizontalScrollBar();
    ASSERT_GT(sideways->maximum(), 0) << "the line is wider than the view";
    EXPECT_EQ(sideways->value(), 0);

    // Later lines, wide or not, and a whole exchange keep the start of the lines in view.
    AppLog->Add(logError, wide);
    Click("uInfoBtn");
    ASSERT_TRUE(WaitForLog("Usbl Baseline 32:")) << Log();
    AppLog->Add(logWarning, wide);
    fForm->resize(fForm->width() + 40, fForm->height());
    QTest::qWait(200);
    EXPECT_EQ(sideways->value(), 0);

    // Where the operator scrolled sideways, new lines leave the view there.
    sideways->setValue(sideways->maximum() / 2);
    const int scrolled = sideways->value();
    AppLog->Add(logInfo, wide);
    AppLog->Add(logInfo, "short");
    EXPECT_EQ(sideways->value(), scrolled);
}

TEST_F(MainFormTest, TheLogShowsEveryCharacterInTheSameWidth)
{
    StartBeacon();
    WriteSettings();
    Open();
    auto* log = Find<QPlainTextEdit>("uProgramLog");
    const QFontMetrics metrics = log->fontMetrics();
    EXPECT_GT(metrics.horizontalAdvance("iiii"), 0);
    EXPECT_EQ(metrics.horizontalAdvance("iiii"), metrics.horizontalAdvance("MMMM"))
        << QFontInfo(log->font()).family().toStdString();
    EXPECT_EQ(QFontMetrics(log->document()->defaultFont()).horizontalAdvance("iiii"),
              QFontMetrics(log->document()->defaultFont()).horizontalAdvance("MMMM"));
}

TEST_F(MainFormTest, ARestoredPlacementKeepsTheWholeFrameOnTheDesktop)
{
    struct Case {
        const char* Name;
        int Left, Top, Width, Height;
    };
    const QRect desk = QGuiApplication::primaryScreen()->availableGeometry();
    const Case cases[] = {
        {"at the desktop's corner", desk.left(), desk.top(), 470, 624},
        {"above and left of it", desk.left() - 300, desk.top() - 200, 470, 624},
        {"larger than the desktop", desk.left(), desk.top(), desk.width() + 200, desk.height() + 300},
        {"beyond the bottom right", desk.right() - 100, desk.bottom() - 50, 470, 624},
    };
    StartBeacon();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteSettings("115200", CvFormat("[Application]\nWindows=1\n[Application\\Window(0)]\nId=MAIN\nValid=1\n"
                                         "Left=%d\nTop=%d\nWidth=%d\nHeight=%d\nState=0\n",
                                         c.Left, c.Top, c.Width, c.Height));
        Open();
        // The frame is known once the window is on the screen; the title bar is part of it.
        ASSERT_TRUE(QTest::qWaitFor([&] { return fForm->frameGeometry() != fForm->geometry(); }, 2000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return desk.contains(fForm->frameGeometry()); }, 2000))
            << "frame " << fForm->frameGeometry().x() << "," << fForm->frameGeometry().y() << " "
            << fForm->frameGeometry().width() << "x" << fForm->frameGeometry().height();
        Close();
    }
}

TEST_F(MainFormTest, ClosingWhileProgrammingAsksAndStopsTheRunBeforeThePortCloses)
{
    TQvSimConfig config;
    config.Baud = 115200; // paced, so the run is still going when the window is closed
    StartBeacon(config);
    WriteSettings();
    const std::string fwx = Pack("app.fwx", 24000);
    Open();
    Browse(fwx);
    Click("uProgramBtn");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Find<QProgressBar>("uProgramBar")->isVisible(); }, 10000)) << Log();

    // No (the default): the window stays open and the run goes on.
    fConfirmAnswer = false;
    EXPECT_FALSE(fForm->close());
    ASSERT_EQ(fQuestions.size(), 1u);
    EXPECT_TRUE(fForm->isVisible());
    EXPECT_NE(AppCore->FlashProg()->State(), FP_IDLE);
    EXPECT_FALSE(LogHas("Stopped.")) << Log();

    // Yes: the engine stops first, so the log records it, and the window goes.
    fConfirmAnswer = true;
    EXPECT_TRUE(fForm->close());
    EXPECT_EQ(fQuestions.size(), 2u);
    EXPECT_EQ(AppCore->FlashProg()->State(), FP_IDLE);
    EXPECT_TRUE(LogHas("Stopped.")) << Log();
    Close();
    const std::string file = FwReadFile(fEnv.Dir.File("qvprog.log"));
    const size_t stopped = file.find("\"Stopped.\"");
    ASSERT_NE(stopped, std::string::npos) << file;
    EXPECT_NE(file.find("Closing serial port", stopped), std::string::npos) << file;

    // With nothing running, closing asks nothing.
    Open();
    EXPECT_TRUE(fForm->close());
    EXPECT_EQ(fQuestions.size(), 2u);
}

} // namespace

namespace {

TEST_F(MainFormTest, ThePortBoxShowsThePortWholeAndItsFullPathAsTheHint)
{
    StartBeacon();
    WriteSettings();
    Open();
    auto* port = Find<QComboBox>("uCommsPortCombo");
    QStyleOptionComboBox option;
    option.initFrom(port);
    option.editable = port->isEditable();
    option.currentText = port->currentText();
    const QRect field = port->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, port);
    for (const char* name : {"ttyUSB0", "ttyACM0", "/dev/pts/12"})
        EXPECT_GE(field.width(), port->fontMetrics().horizontalAdvance(name)) << name << " is cut";
    EXPECT_EQ(port->currentText().toStdString(), BeaconPort());
    // A pseudo-terminal has no USB description: the hint is its full path.
    EXPECT_EQ(port->toolTip().toStdString(), BeaconPort());
    EXPECT_EQ(port->itemData(port->currentIndex(), Qt::ToolTipRole).toString().toStdString(), BeaconPort());
}

} // namespace

namespace {

// The outcome panel as the operator reads it.
class MainFormOutcomeTest : public MainFormTest {
protected:
    TQvOutcomePanel* Panel() { return Find<TQvOutcomePanel>("uOutcomePnl"); }
    std::string PanelText() { return Panel()->Text().toStdString(); }
    bool WaitForPanel(EQvMark mark, int ms = 15000)
    {
        return QTest::qWaitFor([&] { return Panel()->isVisible() && Panel()->Mark() == mark; }, ms);
    }
    static bool Matches(const std::string& text, const std::string& pattern)
    {
        return QRegularExpression(QRegularExpression::anchoredPattern(QString::fromStdString(pattern)))
            .match(QString::fromStdString(text))
            .hasMatch();
    }
    QColor Tint() { return Panel()->palette().color(QPalette::Window); }
};

TEST_F(MainFormOutcomeTest, ProgrammingShowsItsTimesThenHowItEnded)
{
    TQvSimConfig config;
    config.Baud = 115200; // paced: the run takes a few seconds
    config.State = TQvSimState::Defaults();
    config.State.Hardware.SerialNumber = 271828;
    StartBeacon(config);
    WriteSettings();
    const std::string fwx = Pack("app.fwx", 16000);
    Open();
    EXPECT_FALSE(Panel()->isVisible()) << "nothing to tell before the first operation";
    Browse(fwx);

    Click("uProgramBtn");
    EXPECT_EQ(Panel()->Mark(), MARK_RUNNING);
    ASSERT_TRUE(QTest::qWaitFor([&] { return PanelText().find(" left, ") != std::string::npos; }, 10000))
        << PanelText();
    EXPECT_TRUE(Matches(PanelText(), R"(Programming: \d+%, \d+:\d\d elapsed, \d+:\d\d left, [0-9.]+ (B|kB|MB)/s)"))
        << PanelText();
    const QColor runningTint = Tint();

    ASSERT_TRUE(WaitForPanel(MARK_DONE, 30000)) << PanelText() << "\n" << Log();
    const TQvSimFirmware app = fBeacon->State().App;
    EXPECT_TRUE(Matches(PanelText(), CvFormat("Completed: serial number 271828, application v%u\\.%u\\.%u, in \\d+:\\d\\d",
                                              static_cast<unsigned>(app.Major), static_cast<unsigned>(app.Minor),
                                              static_cast<unsigned>(app.Build))))
        << PanelText();
    const QColor doneTint = Tint();
    EXPECT_NE(doneTint, runningTint);

    // An aborted run names the line that ended it, and stays shown until the next operation.
    fHost.reset();
    fBeacon.reset();
    TQvSimConfig dropping;
    std::string error;
    TQvSimSelector block;
    ASSERT_TRUE(TQvSimSelector::Parse("PROG_BLOCK:2", block, error)) << error;
    dropping.Faults.Drop.push_back(block);
    Close();
    StartBeacon(dropping);
    WriteSettings();
    Open();
    Browse(fwx);
    Click("uProgramBtn");
    ASSERT_TRUE(WaitForPanel(MARK_ERROR)) << PanelText() << "\n" << Log();
    EXPECT_EQ(PanelText(), "Aborted: Timed out waiting for device to reply.");
    EXPECT_TRUE(LogHas("\nTimed out waiting for device to reply.\n")) << Log();
    EXPECT_NE(Tint(), doneTint);
    QTest::qWait(300);
    EXPECT_EQ(PanelText(), "Aborted: Timed out waiting for device to reply.");
    Click("uInfoBtn");
    EXPECT_EQ(Panel()->Mark(), MARK_RUNNING) << PanelText();
}

TEST_F(MainFormOutcomeTest, InfoAndConfigEndCompletedOrWithTheirFirstError)
{
    TQvSimConfig config;
    config.State = TQvSimState::Defaults();
    config.State.Hardware.SerialNumber = 42;
    StartBeacon(config);
    WriteSettings("115200", "[Engineering]\nKey=NOTTHEKEY\n");
    Open();
    Click("uInfoBtn");
    EXPECT_EQ(Panel()->Mark(), MARK_RUNNING);
    EXPECT_EQ(PanelText().rfind("Reading the beacon: ", 0), 0u) << PanelText();
    ASSERT_TRUE(WaitForPanel(MARK_DONE)) << PanelText();
    EXPECT_EQ(PanelText().rfind("Completed: serial number 000042, application v", 0), 0u) << PanelText();

    // The beacon refuses the key: the exchange goes on to its end, which shows the first refusal.
    WithConfigForm([](TQvConfigFrm& form) { QTest::mouseClick(form.findChild<QPushButton*>("uOkBtn"), Qt::LeftButton); });
    ASSERT_TRUE(WaitForPanel(MARK_ERROR)) << PanelText() << "\n" << Log();
    EXPECT_EQ(PanelText(), "Failed: Engineering mode enable failed.");

    // Info with the port gone: the first error is the failed connection.
    Click("uConnectBtn");
    fHost.reset();
    Click("uInfoBtn");
    ASSERT_TRUE(WaitForPanel(MARK_ERROR)) << PanelText();
    ASSERT_FALSE(fErrors.empty());
    std::string logged = fErrors.back(); // as the log keeps it: double quotes made single
    std::replace(logged.begin(), logged.end(), '"', '\'');
    EXPECT_EQ(PanelText(), "Failed: " + logged);
}

TEST_F(MainFormTest, ErrorAndWarningLinesAreMarkedAndKeepTheirText)
{
    TQvSimConfig config;
    std::string error;
    TQvSimSelector block;
    ASSERT_TRUE(TQvSimSelector::Parse("PROG_BLOCK:2", block, error)) << error;
    config.Faults.Drop.push_back(block);
    StartBeacon(config);
    WriteSettings();
    const std::string fwx = Pack("app.fwx");
    Open();
    Browse(fwx);
    Click("uProgramBtn");
    ASSERT_TRUE(WaitForLog("Aborted.")) << Log();
    AppLog->Add(logWarning, "Check the cable.");

    auto* log = Find<TQvLogView>("uProgramLog");
    const QStringList lines = log->toPlainText().split('\n');
    struct Expect {
        const char* Text;
        EQvMark Mark;
    };
    const Expect expected[] = {{"Device initialising...", MARK_NONE},
                               {"Timed out waiting for device to reply.", MARK_ERROR},
                               {"Aborted.", MARK_ERROR},
                               {"Check the cable.", MARK_WARNING}};
    QCoreApplication::processEvents();
    const QImage view = log->grab().toImage();
    const qreal scale = view.devicePixelRatio();
    auto hasColour = [&](const QRect& r, const QColor& c) {
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor p = view.pixelColor(static_cast<int>(x * scale), static_cast<int>(y * scale));
                if (std::abs(p.red() - c.red()) < 12 && std::abs(p.green() - c.green()) < 12
                    && std::abs(p.blue() - c.blue()) < 12)
                    return true;
            }
        return false;
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.Text);
        const int line = static_cast<int>(lines.indexOf(e.Text)); // the whole line is the message
        ASSERT_GE(line, 0) << Log();
        const QRect mark = log->MarkRect(line);
        ASSERT_FALSE(mark.isNull()) << "the line is in view";
        for (EQvMark m : {MARK_ERROR, MARK_WARNING})
            EXPECT_EQ(hasColour(mark, TQvMarks::Colours(m).Sign), m == e.Mark) << "sign " << int(m);
        const QTextCharFormat format = log->document()->findBlockByNumber(line).begin().fragment().charFormat();
        if (e.Mark == MARK_NONE)
            EXPECT_FALSE(format.hasProperty(QTextFormat::ForegroundBrush));
        else
            EXPECT_EQ(format.foreground().color(), TQvMarks::Colours(e.Mark).Text);
    }
}

} // namespace
