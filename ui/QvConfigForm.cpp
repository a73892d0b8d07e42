#include "ui/QvConfigForm.h"

#include "app/QvDialogs.h"
#include "framework/CvClock.h"
#include "framework/CvFiles.h"
#include "framework/CvFormat.h"
#include "protocol/QvConfigFile.h"
#include "protocol/QvConfigText.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Baseline pairs in record order; a row's four edits carry the tags pair * 10 + k, k = 3 (A) .. 0 (D).
const int kPairs[TQvCmdUsblCal::BaselineCount] = {10, 20, 21, 30, 31, 32};
const char* const kFileFilter = "Beacon Config File (*.ini);;All Files (*)";
constexpr uint16_t kFlagCsumDisable = 0x0001;
constexpr uint16_t kFlagMagSensDisable = 0x0002;

bool IsWithin(const QWidget* widget, const QWidget* control)
{
    // Walks across window boundaries too, so a combo box's own pop-up counts as inside it.
    for (const QWidget* w = widget; w; w = w->parentWidget())
        if (w == control)
            return true;
    return false;
}


// Limits what the operator types to `limit` characters (digits only where asked) without cutting
// a longer value the program shows: QLineEdit's maxLength would cut text set by the program too.
// A longer shown value may be shortened by the operator but never grows again.
class TTypedTextValidator : public QValidator {
public:
    TTypedTextValidator(int limit, bool digitsOnly, QObject* parent)
        : QValidator(parent)
        , fLimit(limit)
        , fAllowed(limit)
        , fDigitsOnly(digitsOnly)
    {
    }

    // The program shows `text`: it may stay as long as it is.
    void Shown(const QString& text) const { fAllowed = std::max(fLimit, static_cast<int>(text.size())); }

    State validate(QString& input, int&) const override
    {
        if (input.size() > fAllowed)
            return Invalid;
        if (fDigitsOnly && std::any_of(input.begin(), input.end(), [](QChar c) { return !c.isDigit(); }))
            return Invalid;
        fAllowed = std::max(fLimit, static_cast<int>(input.size()));
        return Acceptable;
    }

private:
    int fLimit;
    mutable int fAllowed;
    bool fDigitsOnly;
};

// Sets the text of an edit as the program shows it; the operator has changed nothing yet.
void ShowText(QLineEdit* edit, const QString& text)
{
    if (auto* typed = dynamic_cast<const TTypedTextValidator*>(edit->validator()))
        typed->Shown(text);
    edit->setText(text);
}

} // namespace

TQvConfigFrm::TQvConfigFrm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    fConfig.UsblCal.SetNeutral();
    CreateControls();
    fFocusConnection = connect(qApp, &QApplication::focusChanged, this, &TQvConfigFrm::FocusChanged);
    FormUpdate();
}

TQvConfigFrm::TQvConfigFrm(const TQvCmdEngineeringConfig& config, const std::string& configPath, QWidget* owner)
    : TQvConfigFrm(owner)
{
    SetConfig(config);
    SetConfigPath(configPath);
}

TQvConfigFrm::~TQvConfigFrm()
{
    // Focus moves while the base classes tear the window down; by then this is no longer a
    // TQvConfigFrm and must not be called.
    disconnect(fFocusConnection);
}

const std::vector<std::string>& TQvConfigFrm::PartNumberItems()
{
    static const std::vector<std::string> items = {
        "20100 - QB-100 Micro Beacon",  "20200 - QB-200 Transponder", "20250 - QB-250 Depth Beacon",
        "20300 - QB-300 USBL Beacon",   "20400 - QB-400 Deep Beacon", "20500 - QB-500 Modem Beacon",
    };
    return items;
}

QLineEdit* TQvConfigFrm::NewEdit(const char* name, int maxLength, bool digitsOnly)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setValidator(new TTypedTextValidator(maxLength, digitsOnly, edit));
    return edit;
}

void TQvConfigFrm::CreateControls()
{
    setObjectName("TQvConfigFrm");
    setWindowTitle("Factory Config");
    setWindowIcon(QApplication::windowIcon());

    // Hardware identity.
    auto* hardware = new QGroupBox("Hardware", this);
    hardware->setObjectName("uHardwareGrp");
    uPartCmb = new QComboBox(this);
    uPartCmb->setObjectName("uPartCmb");
    uPartCmb->setEditable(true);
    uPartCmb->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& item : PartNumberItems())
        uPartCmb->addItem(QString::fromStdString(item));
    // Five characters hold every 16-bit part number the window shows, and cut a chosen list item
    // to its number.
    uPartCmb->lineEdit()->setMaxLength(5);
    uPartCmb->lineEdit()->setPlaceholderText("Part Number");
    uPartCmb->setMinimumContentsLength(22);
    uRevisionEdit = NewEdit("uRevisionEdit", 3, true);
    uSerialEdit = NewEdit("uSerialEdit", 6, true);
    uFlagsSysEdit = NewEdit("uFlagsSysEdit", 6, false);
    uFlagsCsumDisableChk = new QCheckBox("Disable Cmd &Checksums", this);
    uFlagsCsumDisableChk->setObjectName("uFlagsCsumDisableChk");
    uFlagsMagSensDisableChk = new QCheckBox("Disable &Mag Sensor", this);
    uFlagsMagSensDisableChk->setObjectName("uFlagsMagSensDisableChk");

    auto* hwGrid = new QGridLayout(hardware);
    auto addRow = [&](int row, const char* caption, QWidget* control) {
        auto* label = new QLabel(caption, hardware);
        label->setBuddy(control);
        hwGrid->addWidget(label, row, 0);
        hwGrid->addWidget(control, row, 1);
    };
    addRow(0, "&Part Number", uPartCmb);
    addRow(1, "Part &Revision", uRevisionEdit);
    addRow(2, "Serial &Number", uSerialEdit);
    addRow(3, "&Flags", uFlagsSysEdit);
    hwGrid->addWidget(uFlagsCsumDisableChk, 4, 1, Qt::AlignLeft);
    hwGrid->addWidget(uFlagsMagSensDisableChk, 5, 1, Qt::AlignLeft);
    hwGrid->setColumnStretch(1, 1);

    // USBL baseline calibration: a row per baseline, columns A to D.
    auto* usbl = new QGroupBox("USBL Calibration", this);
    usbl->setObjectName("uUsblGrp");
    auto* grid = new QGridLayout(usbl);
    const char* const columns[4] = {"A", "B", "C", "D"};
    for (int c = 0; c < 4; ++c) {
        auto* head = new QLabel(columns[c], usbl);
        head->setAlignment(Qt::AlignCenter);
        grid->addWidget(head, 0, c + 1);
        grid->setColumnStretch(c + 1, 1);
    }
    for (int r = 0; r < TQvCmdUsblCal::BaselineCount; ++r) {
        const int pair = kPairs[r];
        auto* label = new QLabel(QString("Baseline %1-%2").arg(pair / 10).arg(pair % 10), usbl);
        grid->addWidget(label, r + 1, 0);
        for (int c = 0; c < 4; ++c) {
            const int k = 3 - c;
            const std::string name = CvFormat("uBaseline%dx%dEdit", pair, k);
            QLineEdit* edit = NewEdit(name.c_str(), 32, false);
            edit->setProperty("Tag", pair * 10 + k);
            edit->setToolTip("Baseline calibration offset");
            edit->setAlignment(Qt::AlignRight);
            edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance("-10.00000000") + 12);
            grid->addWidget(edit, r + 1, c + 1);
            fBaselineEdits.push_back(edit);
            AddExitHandler(edit, edit, [this, edit] { SetBaseline(edit); });
        }
    }
    uUsblCalValidChk = new QCheckBox("Calibration &Valid", usbl);
    uUsblCalValidChk->setObjectName("uUsblCalValidChk");
    uUsblCalValidChk->setToolTip("Setting all baseline values to 0 invalidates the calibraiton.");
    grid->addWidget(uUsblCalValidChk, TQvCmdUsblCal::BaselineCount + 1, 1, 1, 4, Qt::AlignLeft);

    // Buttons along the bottom.
    auto newButton = [this](const char* caption, const char* name) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    uResetBtn = newButton("R&eset", "uResetBtn");
    uLoadBtn = newButton("&Load", "uLoadBtn");
    uSaveBtn = newButton("&Save", "uSaveBtn");
    uCancelBtn = newButton("Cancel", "uCancelBtn");
    uOkBtn = newButton("OK", "uOkBtn");
    uOkBtn->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(uResetBtn);
    buttons->addWidget(uLoadBtn);
    buttons->addWidget(uSaveBtn);
    buttons->addStretch(1);
    buttons->addWidget(uCancelBtn);
    buttons->addWidget(uOkBtn);

    auto* top = new QVBoxLayout(this);
    top->addWidget(hardware);
    top->addWidget(usbl);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    AddExitHandler(uPartCmb, uPartCmb->lineEdit(), [this] { uPartCmbExit(); });
    AddExitHandler(uRevisionEdit, uRevisionEdit, [this] { uRevisionEditExit(); });
    AddExitHandler(uSerialEdit, uSerialEdit, [this] { uSerialEditExit(); });
    AddExitHandler(uFlagsSysEdit, uFlagsSysEdit, [this] { uFlagsSysEditExit(); });
    // Choosing a list item changes the text as typing would.
    connect(uPartCmb, &QComboBox::activated, this, [this] { uPartCmb->lineEdit()->setModified(true); });
    connect(uFlagsCsumDisableChk, &QCheckBox::clicked, this,
            [this](bool on) { SetFlagsUserBit(kFlagCsumDisable, on); });
    connect(uFlagsMagSensDisableChk, &QCheckBox::clicked, this,
            [this](bool on) { SetFlagsUserBit(kFlagMagSensDisable, on); });
    connect(uUsblCalValidChk, &QCheckBox::clicked, this, [this](bool on) { fConfig.UsblCal.Valid = on; });
    connect(uResetBtn, &QPushButton::clicked, this, &TQvConfigFrm::uResetBtnClick);
    connect(uLoadBtn, &QPushButton::clicked, this, &TQvConfigFrm::uLoadBtnClick);
    connect(uSaveBtn, &QPushButton::clicked, this, &TQvConfigFrm::uSaveBtnClick);
    connect(uCancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(uOkBtn, &QPushButton::clicked, this, &TQvConfigFrm::uOkBtnClick);
}

void TQvConfigFrm::AddExitHandler(QWidget* control, QLineEdit* text, std::function<void()> onExit)
{
    // Only a value the operator changed is taken: entering and leaving a control keeps what it
    // shows, which may lie outside what typing allows (a beacon's or a file's value).
    fExitHandlers.push_back({control, [text, onExit = std::move(onExit)] {
                                 if (text->isModified())
                                     onExit();
                             }});
}

void TQvConfigFrm::FocusChanged(QWidget* old, QWidget* now)
{
    // A control is left when focus moves to another control of this window; switching to another
    // window or opening a pop-up list does not leave it.
    if (!old || !now || now->window() != this)
        return;
    for (const auto& [control, onExit] : fExitHandlers)
        if (IsWithin(old, control) && !IsWithin(now, control)) {
            onExit();
            return;
        }
}

void TQvConfigFrm::CommitFocused()
{
    const QWidget* focus = QApplication::focusWidget();
    for (const auto& [control, onExit] : fExitHandlers)
        if (IsWithin(focus, control)) {
            onExit();
            return;
        }
}

void TQvConfigFrm::SetConfig(const TQvCmdEngineeringConfig& config)
{
    fConfig = config;
    FormUpdate();
}

void TQvConfigFrm::FormUpdate()
{
    const TQvCmdInfoHardware& hw = fConfig.Hardware;
    uPartCmb->setEditText(QString::fromStdString(CvFormat("%.5d", static_cast<int>(hw.PartNumber))));
    ShowText(uRevisionEdit, QString::fromStdString(CvFormat("%d", static_cast<int>(hw.PartRevision))));
    ShowText(uSerialEdit, QString::fromStdString(CvFormat("%.6d", static_cast<int64_t>(hw.SerialNumber))));
    ShowText(uFlagsSysEdit, QString::fromStdString(CvFormat("0x%.4X", static_cast<int>(hw.FlagsSys))));
    uFlagsCsumDisableChk->setChecked((hw.FlagsUser & kFlagCsumDisable) != 0);
    uFlagsMagSensDisableChk->setChecked((hw.FlagsUser & kFlagMagSensDisable) != 0);
    uUsblCalValidChk->setChecked(fConfig.UsblCal.Valid);
    for (QLineEdit* edit : fBaselineEdits) {
        const int tag = edit->property("Tag").toInt();
        const int row = static_cast<int>(std::find(std::begin(kPairs), std::end(kPairs), tag / 10) - std::begin(kPairs));
        const double value = fConfig.UsblCal.Baseline[row * TQvCmdUsblCal::CoefCount + tag % 10];
        ShowText(edit, QString::fromStdString(CvFormat("%.8f", value)));
        edit->setCursorPosition(0);
    }

    const bool eng = fConfig.EngMode;
    for (QWidget* w : std::initializer_list<QWidget*>{uPartCmb, uRevisionEdit, uSerialEdit, uFlagsSysEdit,
                                                      uUsblCalValidChk, uLoadBtn, uResetBtn})
        w->setEnabled(eng);
    for (QLineEdit* edit : fBaselineEdits)
        edit->setEnabled(eng);
}

void TQvConfigFrm::uPartCmbExit()
{
    fConfig.Hardware.PartNumber = TQvConfigText::PartNumberFromText(uPartCmb->currentText().toStdString());
    FormUpdate();
}

void TQvConfigFrm::uRevisionEditExit()
{
    fConfig.Hardware.PartRevision = TQvConfigText::RevisionFromText(uRevisionEdit->text().toStdString());
    FormUpdate();
}

void TQvConfigFrm::uSerialEditExit()
{
    fConfig.Hardware.SerialNumber = TQvConfigText::SerialNumberFromText(uSerialEdit->text().toStdString());
    FormUpdate();
}

void TQvConfigFrm::uFlagsSysEditExit()
{
    fConfig.Hardware.FlagsSys = TQvConfigText::FlagsFromText(uFlagsSysEdit->text().toStdString());
    FormUpdate();
}

void TQvConfigFrm::SetBaseline(QLineEdit* edit)
{
    const int tag = edit->property("Tag").toInt();
    const int* pair = std::find(std::begin(kPairs), std::end(kPairs), tag / 10);
    const int k = tag % 10;
    if (pair != std::end(kPairs) && k < TQvCmdUsblCal::CoefCount) {
        const int row = static_cast<int>(pair - std::begin(kPairs));
        fConfig.UsblCal.Baseline[row * TQvCmdUsblCal::CoefCount + k] =
            TQvConfigText::BaselineFromText(edit->text().toStdString());
    }
    FormUpdate();
}

void TQvConfigFrm::SetFlagsUserBit(uint16_t bit, bool set)
{
    uint16_t flags = fConfig.Hardware.FlagsUser;
    flags = set ? static_cast<uint16_t>(flags | bit) : static_cast<uint16_t>(flags & ~bit);
    fConfig.Hardware.FlagsUser = flags;
}

void TQvConfigFrm::uResetBtnClick()
{
    CommitFocused();
    if (!QvDialogs().Confirm("Are you sure you want to reset the configuraiton to default values?"))
        return;
    fConfig.Hardware = TQvCmdInfoHardware();
    fConfig.UsblCal.Valid = false;
    fConfig.UsblCal.SetNeutral();
    FormUpdate();
}

void TQvConfigFrm::uSaveBtnClick()
{
    CommitFocused();
    FormUpdate();
    const TCvDateTime now = CvNow();
    TQvFileDialogParams params;
    params.Title = "Save Configuration File";
    params.Folder = fConfigPath;
    params.FileName = TQvConfigFile::DefaultFileName(fConfig.Hardware.SerialNumber, now);
    params.Filter = kFileFilter;
    params.DefaultExt = "ini";
    params.MustExist = false;
    const std::string fileName = QvDialogs().SaveFile(params);
    if (fileName.empty())
        return;
    // The folder is remembered once a file was written there, so a failed save keeps the last
    // folder that worked.
    std::string error;
    if (!TQvConfigFile::Save(fileName, fConfig, now, error)) {
        QvDialogs().ShowError(error, "");
        return;
    }
    fConfigPath = CvExtractFilePath(fileName);
}

void TQvConfigFrm::uLoadBtnClick()
{
    CommitFocused();
    TQvFileDialogParams params;
    params.Title = "Load Configuration File";
    params.Folder = fConfigPath;
    params.Filter = kFileFilter;
    params.DefaultExt = "ini";
    params.MustExist = true;
    const std::string fileName = QvDialogs().OpenFile(params);
    if (fileName.empty())
        return;
    fConfigPath = CvExtractFilePath(fileName);
    std::string error;
    if (!TQvConfigFile::Load(fileName, fConfig, error))
        QvDialogs().ShowError(error, "");
    FormUpdate();
}

void TQvConfigFrm::uOkBtnClick()
{
    CommitFocused();
    accept();
}
