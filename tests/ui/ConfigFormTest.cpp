// The factory configuration window driven like an operator: typing, leaving controls, clicks,
// the reset confirmation and the Beacon Config File through the replaceable dialogs.
#include "ui/QvConfigForm.h"
#include "tests/ui/UiTyping.h"

#include "app/QvDialogs.h"
#include "framework/CvClock.h"
#include "framework/CvFormat.h"
#include "protocol/QvConfigText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

const int kPairs[6] = {10, 20, 21, 30, 31, 32};

// Index of coefficient k (3 = A .. 0 = D) of the baseline with the given pair in the record.
int CoefIndex(int pair, int k)
{
    return static_cast<int>(std::find(std::begin(kPairs), std::end(kPairs), pair) - std::begin(kPairs)) * 4 + k;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

class ConfigFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fSavedDialogs = QvDialogs();
        ASSERT_TRUE(fDir.isValid());
        fFolder = QDir::toNativeSeparators(fDir.path() + "/").toStdString();
    }
    void TearDown() override
    {
        QvDialogs() = fSavedDialogs;
        CvSetNowFunction(nullptr);
    }

    static TQvCmdEngineeringConfig EngConfig()
    {
        TQvCmdEngineeringConfig c;
        c.EngMode = true;
        c.UsblCal.SetNeutral();
        return c;
    }

    // Shows the window, active, so focus moves as it does for an operator.
    void Show(TQvConfigFrm& form)
    {
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    template <typename T>
    T* Find(TQvConfigFrm& form, const char* name)
    {
        T* w = form.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    static void TypeAndLeave(QWidget* control, const QString& text) { QvTypeAndLeave(control, text); }

    static QString Shown(QWidget* control)
    {
        if (auto* combo = qobject_cast<QComboBox*>(control))
            return combo->currentText();
        return qobject_cast<QLineEdit*>(control)->text();
    }

    QTemporaryDir fDir;
    std::string fFolder;
    TQvDialogs fSavedDialogs;
};

TEST_F(ConfigFormTest, LeavingAControlStoresTheLimitedValueAndShowsItAsStored)
{
    const struct {
        const char* Control;
        const char* Typed;
        const char* Shown;
    } cases[] = {
        {"uPartCmb", "65537", "50000"},         {"uPartCmb", "abc", "00000"},
        {"uPartCmb", "42", "00042"},            {"uRevisionEdit", "300", "250"},
        {"uRevisionEdit", "12", "12"},          {"uSerialEdit", "42", "000042"},
        {"uFlagsSysEdit", "ff", "0x00FF"},      {"uFlagsSysEdit", "FF", "0x00FF"},
        {"uFlagsSysEdit", "0x00ff", "0x00FF"},  {"uFlagsSysEdit", "zz", "0x0000"},
        {"uBaseline10x3Edit", "12.5", "10.00000000"}, {"uBaseline20x2Edit", "-10", "-10.00000000"},
        {"uBaseline32x0Edit", "letters", "0.00000000"}, {"uBaseline21x1Edit", "0,5", "0.50000000"},
    };
    for (const auto& c : cases) {
        TQvConfigFrm form(EngConfig(), fFolder);
        Show(form);
        QWidget* control = Find<QWidget>(form, c.Control);
        TypeAndLeave(control, c.Typed);
        EXPECT_EQ(Shown(control).toStdString(), c.Shown) << c.Control << " " << c.Typed;
    }

    // The stored values themselves.
    TQvConfigFrm form(EngConfig(), fFolder);
    Show(form);
    TypeAndLeave(Find<QWidget>(form, "uPartCmb"), "65537");
    TypeAndLeave(Find<QWidget>(form, "uRevisionEdit"), "300");
    TypeAndLeave(Find<QWidget>(form, "uSerialEdit"), "123456");
    TypeAndLeave(Find<QWidget>(form, "uFlagsSysEdit"), "0x00ff");
    TypeAndLeave(Find<QWidget>(form, "uBaseline10x3Edit"), "12.5");
    TypeAndLeave(Find<QWidget>(form, "uBaseline31x0Edit"), "-1.25");
    const TQvCmdEngineeringConfig c = form.Config();
    EXPECT_EQ(+c.Hardware.PartNumber, 50000);
    EXPECT_EQ(+c.Hardware.PartRevision, 250);
    EXPECT_EQ(+c.Hardware.SerialNumber, 123456u);
    EXPECT_EQ(+c.Hardware.FlagsSys, 255);
    EXPECT_EQ(+c.UsblCal.Baseline[CoefIndex(10, 3)], 10.0f); // baseline 1-0, A
    EXPECT_EQ(+c.UsblCal.Baseline[CoefIndex(31, 0)], -1.25f); // baseline 3-1, D
    EXPECT_TRUE(c.EngMode);
}

TEST_F(ConfigFormTest, ValuesTheProgramShowsAreWholeAndEnteringAndLeavingKeepsThem)
{
    // The largest values each field can hold, as a beacon or a Beacon Config File may give them.
    TQvCmdEngineeringConfig c = EngConfig();
    c.Hardware = {65535, 255, 4294967295u, 0xFFFF, 3};
    c.UsblCal.Baseline[CoefIndex(10, 3)] = 1e30f;
    c.UsblCal.Baseline[CoefIndex(20, 3)] = -12.5f;
    TQvConfigFrm form(c, fFolder);
    Show(form);
    const struct {
        const char* Control;
        std::string Shown;
    } shown[] = {
        {"uPartCmb", "65535"},
        {"uRevisionEdit", "255"},
        {"uSerialEdit", "4294967295"},
        {"uFlagsSysEdit", "0xFFFF"},
        {"uBaseline10x3Edit", CvFormat("%.8f", static_cast<double>(1e30f))},
        {"uBaseline20x3Edit", "-12.50000000"},
    };
    for (const auto& k : shown)
        EXPECT_EQ(Shown(Find<QWidget>(form, k.Control)).toStdString(), k.Shown) << k.Control;

    // Clicking into each box and on into the next, typing nothing, changes no value.
    for (const auto& k : shown) {
        QWidget* control = Find<QWidget>(form, k.Control);
        if (auto* combo = qobject_cast<QComboBox*>(control))
            control = combo->lineEdit();
        QTest::mouseClick(control, Qt::LeftButton);
        EXPECT_TRUE(control->hasFocus()) << k.Control;
    }
    QTest::mouseClick(Find<QWidget>(form, "uBaseline32x0Edit"), Qt::LeftButton);
    for (const auto& k : shown)
        EXPECT_EQ(Shown(Find<QWidget>(form, k.Control)).toStdString(), k.Shown) << k.Control;
    const TQvCmdEngineeringConfig r = form.Config();
    EXPECT_EQ(std::memcmp(&r.Hardware, &c.Hardware, sizeof c.Hardware), 0);
    EXPECT_EQ(std::memcmp(&r.UsblCal, &c.UsblCal, sizeof c.UsblCal), 0);

    // What the operator types is still limited in length, then in range.
    const struct {
        const char* Control;
        const char* Typed;
        const char* Shown;
    } typed[] = {
        {"uPartCmb", "1234567", "12345"},    {"uRevisionEdit", "2555", "250"},
        {"uSerialEdit", "12345678", "123456"}, {"uFlagsSysEdit", "0x12345", "0x1234"},
    };
    for (const auto& k : typed) {
        QWidget* control = Find<QWidget>(form, k.Control);
        TypeAndLeave(control, k.Typed);
        EXPECT_EQ(Shown(control).toStdString(), k.Shown) << k.Control;
    }
    EXPECT_EQ(+form.Config().Hardware.SerialNumber, 123456u);
}

TEST_F(ConfigFormTest, BaselineEditsCarryTheirPairAndCoefficient)
{
    TQvConfigFrm form(EngConfig(), fFolder);
    TQvCmdEngineeringConfig c = EngConfig();
    for (int i = 0; i < 24; ++i)
        c.UsblCal.Baseline[i] = static_cast<float>(i);
    form.SetConfig(c);
    for (int pair : kPairs)
        for (int k = 0; k < 4; ++k) {
            const std::string name = "uBaseline" + std::to_string(pair) + "x" + std::to_string(k) + "Edit";
            QLineEdit* edit = Find<QLineEdit>(form, name.c_str());
            ASSERT_NE(edit, nullptr);
            EXPECT_EQ(edit->property("Tag").toInt(), pair * 10 + k);
            EXPECT_EQ(edit->text().toDouble(), CoefIndex(pair, k)) << name;
            EXPECT_EQ(edit->toolTip(), "Baseline calibration offset");
        }
}

TEST_F(ConfigFormTest, ChoosingAPartListItemStoresItsFiveDigitNumber)
{
    TQvConfigFrm form(EngConfig(), fFolder);
    Show(form);
    auto* combo = Find<QComboBox>(form, "uPartCmb");
    combo->setFocus(Qt::TabFocusReason);
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClick(combo, Qt::Key_Down);
    const int index = combo->currentIndex();
    ASSERT_GE(index, 0);
    const std::string item = TQvConfigFrm::PartNumberItems()[static_cast<size_t>(index)];
    EXPECT_EQ(+form.Config().Hardware.PartNumber, 0) << "taken only when the control is left";
    QTest::keyClick(combo, Qt::Key_Tab);
    EXPECT_EQ(+form.Config().Hardware.PartNumber, std::stoi(item.substr(0, 5))) << item;
    EXPECT_EQ(combo->currentText().toStdString(), item.substr(0, 5));
    EXPECT_EQ(combo->lineEdit()->placeholderText(), "Part Number");
}

TEST_F(ConfigFormTest, EngineeringModeDecidesWhatCanBeEdited)
{
    const char* const engOnly[] = {"uPartCmb", "uRevisionEdit", "uSerialEdit", "uFlagsSysEdit",
                                   "uUsblCalValidChk", "uLoadBtn", "uResetBtn", "uBaseline10x3Edit",
                                   "uBaseline21x1Edit", "uBaseline32x0Edit"};
    const char* const always[] = {"uFlagsCsumDisableChk", "uFlagsMagSensDisableChk", "uSaveBtn", "uOkBtn",
                                  "uCancelBtn"};
    for (bool eng : {false, true}) {
        TQvCmdEngineeringConfig c = EngConfig();
        c.EngMode = eng;
        TQvConfigFrm form(c, fFolder);
        for (const char* name : engOnly)
            EXPECT_EQ(Find<QWidget>(form, name)->isEnabled(), eng) << name << " eng=" << eng;
        for (const char* name : always)
            EXPECT_TRUE(Find<QWidget>(form, name)->isEnabled()) << name << " eng=" << eng;
        int enabledBaselines = 0;
        for (QLineEdit* e : form.findChildren<QLineEdit*>(QRegularExpression("^uBaseline")))
            enabledBaselines += e->isEnabled();
        EXPECT_EQ(enabledBaselines, eng ? 24 : 0);
    }
}

TEST_F(ConfigFormTest, FlagBoxesChangeOnlyTheirOwnBits)
{
    TQvCmdEngineeringConfig c = EngConfig();
    c.EngMode = false;
    c.Hardware.FlagsUser = 0x8004;
    TQvConfigFrm form(c, fFolder);
    Show(form);
    auto* csum = Find<QCheckBox>(form, "uFlagsCsumDisableChk");
    auto* mag = Find<QCheckBox>(form, "uFlagsMagSensDisableChk");
    EXPECT_EQ(csum->text().remove('&'), "Disable Cmd Checksums");
    EXPECT_EQ(mag->text().remove('&'), "Disable Mag Sensor");
    QTest::mouseClick(csum, Qt::LeftButton);
    EXPECT_EQ(+form.Config().Hardware.FlagsUser, 0x8005);
    QTest::mouseClick(mag, Qt::LeftButton);
    EXPECT_EQ(+form.Config().Hardware.FlagsUser, 0x8007);
    QTest::mouseClick(csum, Qt::LeftButton);
    EXPECT_EQ(+form.Config().Hardware.FlagsUser, 0x8006);

    TQvConfigFrm engForm(EngConfig(), fFolder);
    Show(engForm);
    QTest::mouseClick(Find<QCheckBox>(engForm, "uUsblCalValidChk"), Qt::LeftButton);
    EXPECT_TRUE(engForm.Config().UsblCal.Valid);
}

TEST_F(ConfigFormTest, ResetAsksFirstThenRestoresTheNeutralConfiguration)
{
    TQvCmdEngineeringConfig c = EngConfig();
    c.Hardware = {20300, 4, 42, 0x12, 0x3};
    c.UsblCal.Valid = true;
    for (int i = 0; i < 24; ++i)
        c.UsblCal.Baseline[i] = 2.5f;
    TQvConfigFrm form(c, fFolder);
    Show(form);

    std::vector<std::string> asked;
    bool answer = false;
    QvDialogs().Confirm = [&](const std::string& text) {
        asked.push_back(text);
        return answer;
    };
    QTest::mouseClick(Find<QPushButton>(form, "uResetBtn"), Qt::LeftButton);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "Are you sure you want to reset the configuraiton to default values?");
    EXPECT_EQ(+form.Config().Hardware.SerialNumber, 42u) << "No keeps everything";
    EXPECT_TRUE(form.Config().UsblCal.Valid);

    answer = true;
    QTest::mouseClick(Find<QPushButton>(form, "uResetBtn"), Qt::LeftButton);
    const TQvCmdEngineeringConfig r = form.Config();
    EXPECT_TRUE(r.EngMode);
    EXPECT_EQ(+r.Hardware.PartNumber, 0);
    EXPECT_EQ(+r.Hardware.SerialNumber, 0u);
    EXPECT_EQ(+r.Hardware.FlagsUser, 0);
    EXPECT_FALSE(r.UsblCal.Valid);
    EXPECT_FALSE(Find<QCheckBox>(form, "uUsblCalValidChk")->isChecked());
    for (int pair : kPairs)
        for (int k = 0; k < 4; ++k) {
            const std::string name = "uBaseline" + std::to_string(pair) + "x" + std::to_string(k) + "Edit";
            EXPECT_EQ(Find<QLineEdit>(form, name.c_str())->text().toStdString(),
                      k == 1 ? "1.00000000" : "0.00000000")
                << name;
        }
    EXPECT_EQ(Find<QLineEdit>(form, "uSerialEdit")->text(), "000000");
}

TEST_F(ConfigFormTest, OkAndCancelAreTheWaysOut)
{
    TQvConfigFrm form(EngConfig(), fFolder);
    EXPECT_EQ(form.windowTitle(), "Factory Config");
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);

    // Enter inside an edit confirms with the typed value stored.
    form.open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto* serial = Find<QLineEdit>(form, "uSerialEdit");
    serial->setFocus(Qt::TabFocusReason);
    serial->selectAll();
    QTest::keyClicks(serial, "77");
    QTest::keyClick(serial, Qt::Key_Return);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(+form.Config().Hardware.SerialNumber, 77u);

    // Escape and the Cancel button give the Cancel result.
    form.open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(form.result(), QDialog::Rejected);
    form.open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(Find<QPushButton>(form, "uCancelBtn"), Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Rejected);
    form.open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(Find<QPushButton>(form, "uOkBtn"), Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST_F(ConfigFormTest, SaveOffersSerialAndTimeInTheConfigFolder)
{
    CvSetNowFunction([] { return TCvDateTime{2026, 3, 14, 9, 30, 5, 250}; });
    TQvCmdEngineeringConfig c = EngConfig();
    c.EngMode = false; // Save is open to every operator
    c.Hardware.SerialNumber = 42;
    TQvConfigFrm form(c, fFolder);
    Show(form);

    TQvFileDialogParams offered;
    std::string answer;
    QvDialogs().SaveFile = [&](const TQvFileDialogParams& p) {
        offered = p;
        return answer;
    };
    QTest::mouseClick(Find<QPushButton>(form, "uSaveBtn"), Qt::LeftButton);
    EXPECT_EQ(offered.Title, "Save Configuration File");
    EXPECT_EQ(offered.Folder, fFolder);
    EXPECT_EQ(offered.FileName, "000042_20260314_093005.ini");
    EXPECT_EQ(offered.DefaultExt, "ini");
    EXPECT_EQ(offered.Filter.rfind("Beacon Config File (*.ini)", 0), 0u) << offered.Filter;
    EXPECT_TRUE(QDir(fDir.path()).entryList(QDir::Files).isEmpty()) << "cancelled: nothing written";

    const QString sub = fDir.path() + "/calibration";
    ASSERT_TRUE(QDir().mkpath(sub));
    answer = (sub + "/beacon.ini").toStdString();
    QTest::mouseClick(Find<QPushButton>(form, "uSaveBtn"), Qt::LeftButton);
    EXPECT_EQ(form.ConfigPath(), QDir::toNativeSeparators(sub + "/").toStdString());
    const std::string text = ReadFile(answer);
    EXPECT_NE(text.find("Timestamp=2026-03-14 09:30:05"), std::string::npos) << text;
    EXPECT_NE(text.find("SerialNumber=42"), std::string::npos) << text;
}

TEST_F(ConfigFormTest, SavedFileHoldsEveryKeyInOrder)
{
    CvSetNowFunction([] { return TCvDateTime{2026, 1, 2, 3, 4, 5, 0}; });
    TQvCmdEngineeringConfig c = EngConfig();
    c.Hardware = {20300, 4, 123456, 0x1234, 3};
    c.UsblCal.Valid = true;
    c.UsblCal.Baseline[CoefIndex(10, 3)] = 0.5f;   // A of 1-0
    c.UsblCal.Baseline[CoefIndex(32, 0)] = -2.25f; // D of 3-2
    const std::string path = fFolder + "order.ini";
    WriteFile(path, "[Stale]\nOld=1\n");
    TQvConfigFrm form(c, fFolder);
    QvDialogs().SaveFile = [&](const TQvFileDialogParams&) { return path; };
    QTest::mouseClick(Find<QPushButton>(form, "uSaveBtn"), Qt::LeftButton);

    std::string expected = "[Config]\nTimestamp=2026-01-02 03:04:05\n[Hardware]\nLoad=0\nPartNumber=20300\n"
                           "PartRevision=4\nSerialNumber=123456\nFlagsSys=4660\nFlagsUser=3\n[Usbl]\nValid=1\n";
    for (int pair : kPairs)
        for (char coef : {'A', 'B', 'C', 'D'}) {
            std::string value = coef == 'C' ? "1" : "0";
            if (pair == 10 && coef == 'A')
                value = "0.5";
            if (pair == 32 && coef == 'D')
                value = "-2.25";
            expected += "PD" + std::to_string(pair) + coef + "=" + value + "\n";
        }
    // Line ends and blank separator lines are the INI engine's; the lines themselves are ours.
    std::string lines;
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines += line + "\n";
    }
    EXPECT_EQ(lines, expected);
}

TEST_F(ConfigFormTest, EveryValueSurvivesSaveAndLoad)
{
    TQvCmdEngineeringConfig c = EngConfig();
    c.Hardware = {49999, 250, 999999, 0xBEEF, 0xA5A5};
    c.UsblCal.Valid = true;
    const float values[] = {0.1f, -9.87654f, 1.5e-7f, 3.0f, -0.000012f, 9.999999f};
    for (int i = 0; i < 24; ++i)
        c.UsblCal.Baseline[i] = values[i % 6] * static_cast<float>(i % 4 + 1) / 4.0f;
    const std::string path = fFolder + "trip.ini";
    {
        TQvConfigFrm form(c, fFolder);
        QvDialogs().SaveFile = [&](const TQvFileDialogParams&) { return path; };
        QTest::mouseClick(Find<QPushButton>(form, "uSaveBtn"), Qt::LeftButton);
    }
    // A saved file carries Load=0; the identity travels once someone sets it to 1.
    std::string text = ReadFile(path);
    const size_t load = text.find("Load=0");
    ASSERT_NE(load, std::string::npos);
    text[load + 5] = '1';
    WriteFile(path, text);

    TQvConfigFrm form(EngConfig(), "/nonexistent/");
    TQvFileDialogParams asked;
    QvDialogs().OpenFile = [&](const TQvFileDialogParams& p) {
        asked = p;
        return path;
    };
    QTest::mouseClick(Find<QPushButton>(form, "uLoadBtn"), Qt::LeftButton);
    EXPECT_EQ(asked.Title, "Load Configuration File");
    EXPECT_TRUE(asked.MustExist);
    EXPECT_EQ(asked.Folder, "/nonexistent/");
    EXPECT_EQ(form.ConfigPath(), fFolder);
    const TQvCmdEngineeringConfig r = form.Config();
    EXPECT_EQ(std::memcmp(&r.Hardware, &c.Hardware, sizeof c.Hardware), 0);
    EXPECT_EQ(std::memcmp(&r.UsblCal, &c.UsblCal, sizeof c.UsblCal), 0);
    EXPECT_EQ(Find<QLineEdit>(form, "uFlagsSysEdit")->text(), "0xBEEF");
}

TEST_F(ConfigFormTest, LoadingTakesDefaultsForWhatIsMissingOrUnreadable)
{
    TQvCmdEngineeringConfig c = EngConfig();
    c.Hardware = {20300, 4, 42, 7, 1};
    c.UsblCal.Valid = true;
    for (int i = 0; i < 24; ++i)
        c.UsblCal.Baseline[i] = 5.0f;

    struct TCase {
        const char* File;
        TQvCmdInfoHardware Hardware;
        bool Valid;
        float A10, C10, D32;
    };
    const TCase cases[] = {
        // No Usbl section: the neutral calibration, not valid; no Load key: identity kept.
        {"[Hardware]\nPartNumber=1\n", {20300, 4, 42, 7, 1}, false, 0.0f, 1.0f, 0.0f},
        // Hex and decimal integers kept to their fields' low bits; comma decimals; bad reals default.
        {"[Hardware]\nLoad=1\nPartNumber=65537\nPartRevision=0x12C\nSerialNumber=4294967295\nFlagsSys=$FF\n"
         "FlagsUser=junk\n[Usbl]\nValid=2\nPD10A=1,5\nPD10C=zz\nPD32D=-1E-6\n",
         {1, 0x2C, 4294967295u, 0xFF, 0}, true, 1.5f, 1.0f, -1e-6f},
        // Load=0: identity kept even with keys present.
        {"[Hardware]\nLoad=0\nPartNumber=9\n[usbl]\nvalid=0\npd10a=2\n", {20300, 4, 42, 7, 1}, false, 2.0f, 1.0f,
         0.0f},
    };
    for (const TCase& k : cases) {
        const std::string path = fFolder + "in.ini";
        WriteFile(path, k.File);
        TQvConfigFrm form(c, fFolder);
        QvDialogs().OpenFile = [&](const TQvFileDialogParams&) { return path; };
        QTest::mouseClick(Find<QPushButton>(form, "uLoadBtn"), Qt::LeftButton);
        const TQvCmdEngineeringConfig r = form.Config();
        EXPECT_EQ(std::memcmp(&r.Hardware, &k.Hardware, sizeof k.Hardware), 0) << k.File;
        EXPECT_EQ(r.UsblCal.Valid, k.Valid) << k.File;
        EXPECT_EQ(+r.UsblCal.Baseline[CoefIndex(10, 3)], k.A10) << k.File;
        EXPECT_EQ(+r.UsblCal.Baseline[CoefIndex(10, 1)], k.C10) << k.File;
        EXPECT_EQ(+r.UsblCal.Baseline[CoefIndex(32, 0)], k.D32) << k.File;
        EXPECT_EQ(+r.UsblCal.Baseline[CoefIndex(21, 2)], 0.0f) << k.File;
        EXPECT_EQ(Find<QCheckBox>(form, "uUsblCalValidChk")->isChecked(), k.Valid);
    }
}

TEST_F(ConfigFormTest, FileProblemsAreReportedAndChangeNothing)
{
    TQvCmdEngineeringConfig c = EngConfig();
    c.UsblCal.Valid = true;
    c.UsblCal.Baseline[0] = 4.0f;
    TQvConfigFrm form(c, fFolder);
    std::vector<std::string> errors;
    QvDialogs().ShowError = [&](const std::string& text, const std::string&) { errors.push_back(text); };

    // Cancelled load: nothing changes, the folder stays.
    QvDialogs().OpenFile = [](const TQvFileDialogParams&) { return std::string(); };
    QTest::mouseClick(Find<QPushButton>(form, "uLoadBtn"), Qt::LeftButton);
    EXPECT_EQ(form.ConfigPath(), fFolder);
    EXPECT_TRUE(form.Config().UsblCal.Valid);

    // A file that cannot be read is reported, not taken as all defaults.
    const std::string missing = fFolder + "gone/none.ini";
    QvDialogs().OpenFile = [&](const TQvFileDialogParams&) { return missing; };
    QTest::mouseClick(Find<QPushButton>(form, "uLoadBtn"), Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(form.Config().UsblCal.Valid);
    EXPECT_EQ(+form.Config().UsblCal.Baseline[0], 4.0f);

    // A save that cannot be written is reported.
    const std::string nowhere = fFolder + "gone/new.ini";
    QvDialogs().SaveFile = [&](const TQvFileDialogParams&) { return nowhere; };
    QTest::mouseClick(Find<QPushButton>(form, "uSaveBtn"), Qt::LeftButton);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1], "Unable to write to " + nowhere);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(nowhere)));

    // In a folder without write access an earlier file survives the failed save whole.
    const QString locked = fDir.path() + "/locked";
    ASSERT_TRUE(QDir().mkpath(locked));
    const std::string earlier = (locked + "/old.ini").toStdString();
    WriteFile(earlier, "[Config]\nTimestamp=old\n");
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    if (QFileInfo(locked).isWritable())
        GTEST_SKIP() << "running with rights that ignore folder permissions";
    QvDialogs().SaveFile = [&](const TQvFileDialogParams&) { return earlier; };
    QTest::mouseClick(Find<QPushButton>(form, "uSaveBtn"), Qt::LeftButton);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[2], "Unable to write to " + earlier);
    EXPECT_EQ(ReadFile(earlier), "[Config]\nTimestamp=old\n");
}

TEST_F(ConfigFormTest, ASaveThatFailsKeepsTheFolderOfTheLastOneThatWorked)
{
    TQvConfigFrm form(EngConfig(), fFolder);
    std::vector<std::string> errors;
    QvDialogs().ShowError = [&](const std::string& text, const std::string&) { errors.push_back(text); };
    const QString sub = fDir.path() + "/calibration";
    ASSERT_TRUE(QDir().mkpath(sub));
    std::string answer = (sub + "/first.ini").toStdString();
    QvDialogs().SaveFile = [&](const TQvFileDialogParams&) { return answer; };
    QTest::mouseClick(Find<QPushButton>(form, "uSaveBtn"), Qt::LeftButton);
    ASSERT_TRUE(errors.empty());
    const std::string worked = QDir::toNativeSeparators(sub + "/").toStdString();
    EXPECT_EQ(form.ConfigPath(), worked);

    answer = fFolder + "gone/second.ini";
    QTest::mouseClick(Find<QPushButton>(form, "uSaveBtn"), Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1u) << "reported once";
    EXPECT_EQ(errors[0], "Unable to write to " + answer);
    EXPECT_EQ(form.ConfigPath(), worked);
}

TEST_F(ConfigFormTest, TheSaveDialogAcceptsExistingFoldersOnly)
{
    QvInstallQtDialogs();
    const std::string missing = fFolder + "gone/beacon.ini";
    const std::string good = fFolder + "beacon.ini";
    std::vector<std::string> seen; // what was on top, in order
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* top = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(top)) {
            seen.push_back("message: " + box->text().toStdString());
            box->accept();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(top)) {
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            if (!name || !dialog->isVisible())
                return;
            const std::string path = seen.empty() ? missing : good;
            seen.push_back("dialog: " + dialog->windowTitle().toStdString());
            name->setText(QString::fromStdString(path));
            QTest::keyClick(name, Qt::Key_Return);
        }
    });
    poll.start();
    TQvFileDialogParams params;
    params.Title = "Save Configuration File";
    params.Folder = fFolder;
    params.FileName = "beacon.ini";
    params.Filter = "Beacon Config File (*.ini);;All Files (*)";
    params.DefaultExt = "ini";
    const std::string chosen = QvDialogs().SaveFile(params);
    poll.stop();
    EXPECT_EQ(chosen, good);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "dialog: Save Configuration File");
    EXPECT_NE(seen[1].find("message: "), std::string::npos) << seen[1];
    EXPECT_NE(seen[1].find(fFolder + "gone"), std::string::npos) << seen[1];
    EXPECT_EQ(seen[2], "dialog: Save Configuration File");
}

} // namespace
