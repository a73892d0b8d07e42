// The main window in everyday use against a simulated beacon: values shown whole and written
// whole, window titles, the log view with wide lines and its font, the placement on the desktop,
// and closing the window while the beacon is being programmed.
#include "tests/ui/MainFormFixture.h"

#include "flashprog/QvFlashProg.h"
#include "framework/CvAppLog.h"
#include "framework/CvFormat.h"
#include "ui/QvDesktopIdentity.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
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
