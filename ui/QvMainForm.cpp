#include "ui/QvMainForm.h"

#include "app/QvApp.h"
#include "app/QvDialogs.h"
#include "app/QvSettings.h"
#include "flashprog/QvFlashProg.h"
#include "serial/ComPort.h"
#include "framework/CvApp.h"
#include "framework/CvAppLog.h"
#include "framework/CvFiles.h"
#include "framework/CvFormat.h"
#include "framework/CvText.h"
#include "serial/CvComPort.h"
#include "ui/QvConfigForm.h"
#include "ui/QvDropDownCombo.h"
#include "ui/QvLogView.h"
#include "ui/QvOutcomePanel.h"
#include "ui/QvPathShorten.h"
#include "ui/QvPictures.h"
#include "ui/QvPortInfo.h"
#include "ui/QvWindowPlacement.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kBaudRates[] = {"4800", "9600", "19200", "57600", "115200"};
const char* const kWindowId = "Main";
const char* const kNoFile = "No firmware file selected.";
const char* const kCloseWhileBusy =
    "An operation on the beacon is still running; stopping it now may leave the beacon half-programmed. "
    "Stop it and close the program?";

// Design sizes at 96 dots per inch; Qt scales them on high-density screens.
constexpr int kDesignWidth = 470;
constexpr int kDesignHeight = 624;

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

bool IsFirmwareFile(const QUrl& url)
{
    return url.isLocalFile() && url.toLocalFile().endsWith(".fwx", Qt::CaseInsensitive);
}

} // namespace

const char* TQvMainFrm::WebText()
{
    return "www.quorvan.example";
}

const char* TQvMainFrm::WebAddress()
{
    return "https://www.quorvan.example/products/programmer";
}

TQvMainFrm::TQvMainFrm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , uResizeTimer(100)
    , uRunTimer(1000)
{
    CreateControls();
    FormCreate();
}

TQvMainFrm::~TQvMainFrm()
{
    FormDestroy();
}

void TQvMainFrm::CreateControls()
{
    setObjectName("TQvMainFrm");
    setWindowIcon(TQvPictures::AppIcon());
    setAcceptDrops(true);
    setMinimumSize(420, 420);
    resize(kDesignWidth, kDesignHeight);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(4);

    // Header: the program's name, its version and the emblem.
    auto* header = new QWidget(this);
    header->setObjectName("uHeaderPnl");
    header->setFixedHeight(84);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(10, 6, 10, 6);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(0);
    QFont titleFont = font();
    titleFont.setPointSize(14);
    titleFont.setBold(true);
    for (const char* text : {"Quorvan Beacon", "Firmware Programmer"}) {
        auto* l = new QLabel(text, header);
        l->setFont(titleFont);
        titles->addWidget(l);
    }
    uVersionLbl = new QLabel("<Version>", header);
    uVersionLbl->setObjectName("uVersionLbl");
    QFont bold = font();
    bold.setBold(true);
    uVersionLbl->setFont(bold);
    titles->addWidget(uVersionLbl);
    headerRow->addLayout(titles, 1);
    uHeaderImg = new TQvPictureBox(PIC_EMBLEM, header);
    uHeaderImg->setObjectName("uHeaderImg");
    uHeaderImg->setFixedSize(64, 64);
    headerRow->addWidget(uHeaderImg, 0, Qt::AlignVCenter);
    top->addWidget(header);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(8, 0, 8, 0);
    top->addLayout(body, 1);

    // Serial connection.
    auto* serial = new QGroupBox("&Serial Communications...", this);
    serial->setObjectName("uCommsGrp");
    auto* serialRow = new QHBoxLayout(serial);
    auto* portLbl = new QLabel("P&ort", serial);
    portLbl->setMinimumWidth(40);
    uCommsPortCombo = new TQvDropDownCombo(serial);
    uCommsPortCombo->setObjectName("uCommsPortCombo");
    uCommsPortCombo->setMinimumWidth(80);
    // Wide enough for the usual device names and a pseudo-terminal's path; longer paths show
    // whole in the hint.
    uCommsPortCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    uCommsPortCombo->SetFitTexts({"ttyUSB0", "ttyACM0", "/dev/pts/12"});
    uCommsPortCombo->addItem("COM1");
    portLbl->setBuddy(uCommsPortCombo);
    auto* baudLbl = new QLabel("&Baud Rate", serial);
    baudLbl->setMinimumWidth(80);
    baudLbl->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    uCommsBaudCombo = new QComboBox(serial);
    uCommsBaudCombo->setObjectName("uCommsBaudCombo");
    uCommsBaudCombo->setMinimumWidth(80);
    for (const char* rate : kBaudRates)
        uCommsBaudCombo->addItem(rate);
    baudLbl->setBuddy(uCommsBaudCombo);
    uConnectBtn = new QPushButton("&Connect", serial);
    uConnectBtn->setObjectName("uConnectBtn");
    uConnectBtn->setMinimumWidth(80);
    serialRow->addWidget(portLbl);
    serialRow->addWidget(uCommsPortCombo);
    serialRow->addWidget(baudLbl);
    serialRow->addWidget(uCommsBaudCombo);
    serialRow->addStretch(1);
    serialRow->addWidget(uConnectBtn);
    body->addWidget(serial);

    // Firmware file.
    auto* file = new QGroupBox("&Firmware File...", this);
    file->setObjectName("uFileGrp");
    auto* fileRow = new QHBoxLayout(file);
    uFileList = new QComboBox(file);
    uFileList->setObjectName("uFileList");
    uFileList->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    uFileList->setMinimumContentsLength(10);
    uFileList->setPlaceholderText(kNoFile);
    uFileList->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    uFileBrowseBtn = new QPushButton("Bro&wse...", file);
    uFileBrowseBtn->setObjectName("uFileBrowseBtn");
    uFileBrowseBtn->setMinimumWidth(80);
    fileRow->addWidget(uFileList, 1);
    fileRow->addWidget(uFileBrowseBtn);
    body->addWidget(file);

    // Action row: progress at the left, the three operations at the right.
    auto* actions = new QWidget(this);
    actions->setObjectName("uActionPnl");
    actions->setMinimumHeight(29);
    auto* actionRow = new QHBoxLayout(actions);
    actionRow->setContentsMargins(0, 0, 0, 0);
    auto* barArea = new QWidget(actions);
    auto* barLayout = new QHBoxLayout(barArea);
    barLayout->setContentsMargins(0, 0, 0, 0);
    uProgramBar = new QProgressBar(barArea);
    uProgramBar->setObjectName("uProgramBar");
    uProgramBar->setRange(0, 100);
    uProgramBar->setVisible(false);
    barLayout->addWidget(uProgramBar);
    actionRow->addWidget(barArea, 1);
    auto newButton = [actions](const char* caption, const char* name, const char* hint) {
        auto* b = new QPushButton(caption, actions);
        b->setObjectName(name);
        b->setToolTip(hint);
        b->setMinimumWidth(75);
        return b;
    };
    uInfoBtn = newButton("&Info", "uInfoBtn", "Shows information about the device.");
    uHardwareBtn = newButton("Confi&g", "uHardwareBtn",
                             "Shows the Hardware Configuration form, and programs details into the device.");
    uProgramBtn = newButton("&Program", "uProgramBtn", "Programs the selected firmware file into the device.");
    actionRow->addWidget(uInfoBtn);
    actionRow->addWidget(uHardwareBtn);
    actionRow->addWidget(uProgramBtn);
    body->addWidget(actions);

    // How the last operation went, or how far the running one has come.
    uOutcomePnl = new TQvOutcomePanel(this);
    uOutcomePnl->setObjectName("uOutcomePnl");
    uOutcomePnl->setVisible(false);
    body->addWidget(uOutcomePnl);

    // Program log.
    uProgramLog = new TQvLogView(this);
    uProgramLog->setObjectName("uProgramLog");
    uProgramLog->setReadOnly(true);
    uProgramLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    uProgramLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    uProgramLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    uProgramLog->setFont(TQvLogView::MonospacedFont(8));
    uProgramLog->setPlainText("<Program Log>");
    uProgramLog->viewport()->installEventFilter(this);
    body->addWidget(uProgramLog, 1);

    // Footer banner with the web link at its bottom right.
    uFooterImg = new TQvPictureBox(PIC_BANNER, this);
    uFooterImg->setObjectName("uFooterImg");
    uFooterImg->setFixedHeight(50);
    auto* footer = new QVBoxLayout(uFooterImg);
    footer->setContentsMargins(8, 4, 10, 6);
    footer->addStretch(1);
    uWebLbl = new QLabel("<web url>", uFooterImg);
    uWebLbl->setObjectName("uWebLbl");
    uWebLbl->setCursor(Qt::PointingHandCursor);
    QPalette linkPal = uWebLbl->palette();
    linkPal.setColor(QPalette::WindowText, QColor(30, 144, 255));
    uWebLbl->setPalette(linkPal);
    uWebLbl->installEventFilter(this);
    footer->addWidget(uWebLbl, 0, Qt::AlignRight);
    top->addWidget(uFooterImg);

    uCommsPortCombo->SetOnDropDown([this] { uCommsPortComboDropDown(); });
    connect(uCommsPortCombo, &QComboBox::currentIndexChanged, this, [this] { uCommsPortComboChange(); });
    connect(uCommsBaudCombo, &QComboBox::currentIndexChanged, this, [this] { uCommsBaudComboChange(); });
    connect(uConnectBtn, &QPushButton::clicked, this, &TQvMainFrm::uConnectBtnClick);
    connect(uFileList, &QComboBox::activated, this, &TQvMainFrm::uFileListSelect);
    connect(uFileBrowseBtn, &QPushButton::clicked, this, &TQvMainFrm::uFileBrowseBtnClick);
    connect(uInfoBtn, &QPushButton::clicked, this, &TQvMainFrm::uInfoBtnClick);
    connect(uProgramBtn, &QPushButton::clicked, this, &TQvMainFrm::uProgramBtnClick);
    connect(uHardwareBtn, &QPushButton::clicked, this, &TQvMainFrm::uHardwareBtnClick);
    uResizeTimer.SetOnTimer(TCvEvent<TCvTimerParams>(this, &TQvMainFrm::uResizeTimerTimer));
    uRunTimer.SetOnTimer(TCvEvent<TCvTimerParams>(this, &TQvMainFrm::uRunTimerTimer));
}

void TQvMainFrm::FormCreate()
{
    AppCore = new TQvApp();
    TQvSettings& settings = *AppCore->Settings();
    TQvWindowPlacement::Apply(settings, kWindowId, *this);
    fPlacedWithFrame = TQvWindowPlacement::FrameKnown(*this);

    AppCore->ComPort()->SetOnAfterOpen(TComNotifyEvent(this, &TQvMainFrm::ComPortAfterOpen));
    AppCore->ComPort()->SetOnAfterClose(TComNotifyEvent(this, &TQvMainFrm::ComPortAfterClose));
    AppCore->FlashProg()->SetOnAction(TQvFlashProgActionEvent(this, &TQvMainFrm::FlashProgAction));

    FormEventsEnable(true);
    FormEventsDisable();
    std::string caption = settings.AppTitle();
    if (settings.Engineering())
        caption += " [Engineering]";
    setWindowTitle(Q(caption));
    const std::string version = CvTrim(settings.AppInfo().FileVersion);
    uVersionLbl->setText(version.empty() ? "Version Unknown" : Q("v" + settings.AppInfo().FileVersion));
    uWebLbl->setText(WebText());
    uProgramLog->clear();
    SetFilename(settings.RecentFileFirst());
    if (!AppCore->FirmwareFile().empty())
        SetFilename(AppCore->FirmwareFile()); // a package opened with the program
    UpdatePorts();
    FormEventsEnable(true);

    AppLog->SetOnAdd(TCvAppLogAddEvent(this, &TQvMainFrm::AppLogAdd));
    AppCore->CommsConnect();
    UpdateForm();
}

void TQvMainFrm::FormDestroy()
{
    uResizeTimer.Stop();
    uRunTimer.Stop();
    AppCore->CommsDisconnect();
    AppCore->FlashProg()->SetOnAction(TQvFlashProgActionEvent());
    // The window goes before the core: nothing may call back into it while the core shuts down.
    AppCore->ComPort()->SetOnAfterOpen(TComNotifyEvent());
    AppCore->ComPort()->SetOnAfterClose(TComNotifyEvent());
    if (AppLog)
        AppLog->SetOnAdd(TCvAppLogAddEvent());
    TQvSettings& settings = *AppCore->Settings();
    TQvWindowPlacement::Store(settings, kWindowId, *this);
    settings.Save();
    TQvApp* core = AppCore;
    AppCore = nullptr;
    delete core;
}

void TQvMainFrm::FormEventsDisable()
{
    ++fFormEventsSupress;
}

void TQvMainFrm::FormEventsEnable(bool reset)
{
    if (reset)
        fFormEventsSupress = 0;
    else if (fFormEventsSupress > 0)
        --fFormEventsSupress;
}

void TQvMainFrm::UpdateForm()
{
    if (!AppCore)
        return;
    TQvSettings& settings = *AppCore->Settings();
    FormEventsDisable();

    const std::vector<std::string>& files = settings.RecentFiles();
    uFileList->clear();
    uFileList->setMaxVisibleItems(std::max<int>(1, static_cast<int>(files.size())));
    const QFontMetrics fm(font());
    const int limit = uFileList->width() - 25;
    auto width = [&fm](const std::string& s) { return fm.horizontalAdvance(Q(s)); };
    for (const std::string& f : files)
        uFileList->addItem(Q(TQvPathShorten::Shorten(f, limit, width)));

    if (fFileValid && uFileList->count() > 0) {
        uFileList->setCurrentIndex(0);
        uFileList->setToolTip(Q(files[static_cast<size_t>(uFileList->currentIndex())]));
        uProgramBtn->setEnabled(true);
    } else {
        uFileList->setCurrentIndex(-1);
        uFileList->setToolTip(kNoFile);
        uProgramBtn->setEnabled(false);
    }

    const bool open = AppCore->ComPort()->Connected();
    uCommsPortCombo->setEnabled(!open);
    uCommsBaudCombo->setEnabled(!open);
    uConnectBtn->setText(open ? "Dis&connect" : "&Connect");

    UpdatePortSelection();
    UpdateBaudSelection();
    FormEventsEnable(false);
}

void TQvMainFrm::UpdatePorts()
{
    std::vector<std::string> ports;
    TCvComPort::GetPorts(ports);
    // A port configured by its path (a pseudo-terminal, a by-id link) is not listed by the
    // system; show it so that the selection matches the settings.
    const std::string configured = AppCore->Settings()->SerialPort().PortName();
    if (!configured.empty() && std::find(ports.begin(), ports.end(), configured) == ports.end()
        && TCvComPort::CheckPortExists(configured))
        ports.push_back(configured);
    std::stable_sort(ports.begin(), ports.end(),
                     [](const std::string& a, const std::string& b) { return CvLowerCase(a) < CvLowerCase(b); });

    FormEventsDisable();
    uCommsPortCombo->clear();
    for (const std::string& port : ports) {
        uCommsPortCombo->addItem(Q(port));
        uCommsPortCombo->setItemData(uCommsPortCombo->count() - 1, Q(TQvPortInfo::Hint(port)), Qt::ToolTipRole);
    }
    FormEventsEnable(false);
    UpdatePortSelection();
}

void TQvMainFrm::UpdatePortSelection()
{
    FormEventsDisable();
    const QString name = Q(AppCore->Settings()->SerialPort().PortName());
    int index = -1;
    for (int i = 0; i < uCommsPortCombo->count() && index < 0; ++i)
        if (uCommsPortCombo->itemText(i) == name)
            index = i;
    uCommsPortCombo->setCurrentIndex(index);
    uCommsPortCombo->setToolTip(index >= 0 ? uCommsPortCombo->itemData(index, Qt::ToolTipRole).toString() : "");
    FormEventsEnable(false);
}

void TQvMainFrm::UpdateBaudSelection()
{
    FormEventsDisable();
    const uint32_t rate = TCvComPort::GetBaudValue(AppCore->Settings()->SerialPort().fBaudRate);
    int index = 0;
    for (int i = 0; i < uCommsBaudCombo->count(); ++i)
        if (static_cast<uint32_t>(CvStrToIntDef(CvTrim(uCommsBaudCombo->itemText(i).toStdString()), 0)) == rate) {
            index = i;
            break;
        }
    uCommsBaudCombo->setCurrentIndex(index);
    FormEventsEnable(false);
}

void TQvMainFrm::uCommsPortComboDropDown()
{
    UpdatePorts();
}

void TQvMainFrm::uCommsPortComboChange()
{
    if (fFormEventsSupress != 0 || uCommsPortCombo->currentIndex() < 0)
        return;
    AppCore->Settings()->SerialPort().SetPortName(uCommsPortCombo->currentText().toStdString());
    UpdateForm();
}

void TQvMainFrm::uCommsBaudComboChange()
{
    if (fFormEventsSupress != 0 || uCommsBaudCombo->currentIndex() < 0)
        return;
    AppCore->Settings()->SerialPort().fBaudRate =
        TCvComPort::GetBaudRate(uCommsBaudCombo->currentText().toStdString(), false);
    UpdateForm();
}

void TQvMainFrm::uConnectBtnClick()
{
    if (AppCore->ComPort()->Connected())
        AppCore->CommsDisconnect();
    else
        AppCore->CommsConnect();
    UpdateForm();
}

void TQvMainFrm::SetFilename(const std::string& filename)
{
    fFileValid = !filename.empty() && CvFileExists(filename);
    if (fFileValid) {
        fFileName = filename;
        AppCore->Settings()->RecentFileAdd(fFileName);
    } else {
        fFileName.clear();
    }
    UpdateForm();
}

void TQvMainFrm::uFileListSelect(int index)
{
    const std::vector<std::string>& files = AppCore->Settings()->RecentFiles();
    if (index < 0 || static_cast<size_t>(index) >= files.size())
        return;
    const std::string chosen = files[static_cast<size_t>(index)]; // copied: the list changes
    SetFilename(chosen);
}

void TQvMainFrm::uFileBrowseBtnClick()
{
    TQvFileDialogParams params;
    params.Title = "Choose a Firmware File...";
    params.Filter = "Firmware Files (*.fwx);;All Files (*)";
    params.DefaultExt = "fwx";
    params.MustExist = true;
    if (!fFileName.empty() && CvFileExists(fFileName)) {
        params.Folder = CvExtractFilePath(fFileName);
        params.FileName = CvExtractFileName(fFileName);
    } else {
        params.Folder = TCvApp::GetAppExePath();
    }
    const std::string chosen = QvDialogs().OpenFile(params);
    if (!chosen.empty())
        SetFilename(chosen);
}

void TQvMainFrm::uInfoBtnClick()
{
    uProgramLog->clear();
    RunBegin(RUN_INFO);
    if (!AppCore->ComPort()->Connected())
        AppCore->CommsConnect();
    AppCore->FlashProg()->DeviceInfo();
    RunCheckEndLater();
}

void TQvMainFrm::uProgramBtnClick()
{
    uProgramLog->clear();
    if (fFileValid)
        RunBegin(RUN_PROGRAM);
    if (!AppCore->ComPort()->Connected())
        AppCore->CommsConnect();
    if (fFileValid) {
        AppCore->FlashProg()->DeviceProgram(fFileName);
        RunCheckEndLater();
    }
}

void TQvMainFrm::uHardwareBtnClick()
{
    uProgramLog->clear();
    if (!AppCore->ComPort()->Connected())
        AppCore->CommsConnect();
    TQvSettings& settings = *AppCore->Settings();
    auto form = std::make_unique<TQvConfigFrm>(this);
    form->SetConfig(settings.Config());
    form->SetConfigPath(settings.ConfigPath());
    if (form->exec() == QDialog::Accepted) {
        settings.SetConfig(form->Config());
        RunBegin(RUN_CONFIG);
        AppCore->FlashProg()->DeviceConfig(settings.Key(), settings.Config());
        RunCheckEndLater();
    }
    settings.SetConfigPath(form->ConfigPath());
}

void TQvMainFrm::uProgramLogDblClick()
{
    uProgramLog->clear();
}

void TQvMainFrm::FormResize()
{
    if (!uResizeTimer.Enabled())
        uResizeTimer.SetEnabled(true);
}

void TQvMainFrm::uResizeTimerTimer(TCvTimerParams&)
{
    uResizeTimer.SetEnabled(false);
    UpdateForm();
}

void TQvMainFrm::uWebLblClick()
{
    TCvApp::ShellShowFile(WebAddress());
}

void TQvMainFrm::AppLogAdd(TCvAppLogAddParams& params)
{
    uProgramLog->AddLine(Q(params.Msg), params.MsgType);
    if (fRunActive && params.MsgType == logError && fRunFirstError.empty())
        fRunFirstError = params.Msg;
}

// ---- The outcome of the operation the operator started ----

uint64_t TQvMainFrm::RunElapsedMs() const
{
    const TCvTimerService* clock = TCvTimerService::Current();
    return clock ? clock->NowMs() - fRunStartMs : 0;
}

void TQvMainFrm::RunBegin(ERunKind kind)
{
    fRunActive = true;
    fRunKind = kind;
    const TCvTimerService* clock = TCvTimerService::Current();
    fRunStartMs = clock ? clock->NowMs() : 0;
    fRunFirstError.clear();
    fRunHasInfo = false;
    fRunProgress = TQvProgressState{};
    uRunTimer.Start();
    RunShowProgress();
}

void TQvMainFrm::RunShowProgress()
{
    const std::string elapsed = QvDurationText(RunElapsedMs() / 1000) + " elapsed";
    switch (fRunKind) {
    case RUN_PROGRAM: {
        std::string detail = elapsed;
        if (fRunProgress.Percent > 0) {
            detail = CvFormat("%d%%, ", fRunProgress.Percent) + elapsed;
            if (const int64_t left = QvProgressSecondsLeft(fRunProgress); left >= 0)
                detail += ", " + QvDurationText(static_cast<uint64_t>(left)) + " left";
            if (const double rate = QvProgressRate(fRunProgress); rate > 0.0)
                detail += ", " + QvRateText(rate);
        }
        uOutcomePnl->Show(MARK_RUNNING, "Programming", Q(detail));
        break;
    }
    case RUN_INFO:
        uOutcomePnl->Show(MARK_RUNNING, "Reading the beacon", Q(elapsed));
        break;
    case RUN_CONFIG:
        uOutcomePnl->Show(MARK_RUNNING, "Writing the configuration", Q(elapsed));
        break;
    }
}

std::string TQvMainFrm::RunIdentity() const
{
    // After a firmware update the beacon's own reply as it came back; after Info or Config the
    // reply of the exchange.
    const bool known = fRunKind == RUN_PROGRAM || fRunHasInfo;
    if (!known)
        return std::string();
    const TQvCmdInfo& info = fRunKind == RUN_PROGRAM ? AppCore->FlashProg()->LastInfo() : fRunInfo;
    return CvFormat("serial number %.6d, application v%u.%u.%u, ", static_cast<int64_t>(info.Hardware.SerialNumber),
                    static_cast<unsigned>(info.App.Version.Major), static_cast<unsigned>(info.App.Version.Minor),
                    static_cast<unsigned>(info.App.Version.Build));
}

void TQvMainFrm::RunEnd(EQvMark mark, const char* word, const std::string& detail)
{
    fRunActive = false;
    uRunTimer.Stop();
    uOutcomePnl->Show(mark, word, Q(detail));
}

void TQvMainFrm::RunCheckEnd()
{
    if (!fRunActive || !AppCore || AppCore->FlashProg()->State() != FP_IDLE)
        return;
    if (fRunFirstError.empty())
        RunEnd(MARK_DONE, "Completed", RunIdentity() + "in " + QvDurationText(RunElapsedMs() / 1000));
    else
        RunEnd(MARK_ERROR, "Failed", fRunFirstError);
}

void TQvMainFrm::RunCheckEndLater()
{
    // Info and Config go idle inside the handler of their last reply, without an event of
    // their own: look once that handler has returned.
    QMetaObject::invokeMethod(this, [this] { RunCheckEnd(); }, Qt::QueuedConnection);
}

void TQvMainFrm::uRunTimerTimer(TCvTimerParams&)
{
    if (fRunActive)
        RunShowProgress();
}

void TQvMainFrm::ComPortAfterOpen(TComNotifyParams&)
{
    UpdateForm();
}

void TQvMainFrm::ComPortAfterClose(TComNotifyParams&)
{
    UpdateForm();
}

void TQvMainFrm::FlashProgAction(TQvFlashProgActionParams& params)
{
    TQvSettings& settings = *AppCore->Settings();
    switch (params.Action) {
    case FP_ACTION_START:
        uProgramBar->setRange(0, 100);
        uProgramBar->setValue(0);
        if (fRunActive && fRunKind == RUN_PROGRAM)
            QvProgressStart(fRunProgress, AppCore->FlashProg()->Target());
        break;
    case FP_ACTION_STOP:
    case FP_ACTION_DONE:
    case FP_ACTION_ERROR:
        uProgramBar->setVisible(false);
        if (fRunActive) {
            const std::string elapsed = QvDurationText(RunElapsedMs() / 1000);
            if (params.Action == FP_ACTION_DONE)
                RunEnd(MARK_DONE, "Completed", RunIdentity() + "in " + elapsed);
            else if (params.Action == FP_ACTION_ERROR)
                RunEnd(MARK_ERROR, "Aborted", fRunFirstError.empty() ? "Aborted." : fRunFirstError);
            else
                RunEnd(MARK_WARNING, "Stopped", "after " + elapsed);
        }
        UpdateForm();
        break;
    case FP_ACTION_PROGRESS:
        uProgramBar->setVisible(true);
        if (uProgramBar->value() != params.Progress)
            uProgramBar->setValue(params.Progress);
        uProgramBar->repaint();
        if (fRunActive && fRunKind == RUN_PROGRAM) {
            QvProgressBlockSent(fRunProgress, AppCore->FlashProg()->Target(), params.Progress, RunElapsedMs());
            RunShowProgress();
        }
        break;
    case FP_ACTION_INFO: {
        TQvCmdEngineeringConfig config = settings.Config();
        config.Hardware = params.Info.Hardware;
        settings.SetConfig(config);
        fRunInfo = params.Info;
        fRunHasInfo = true;
        break;
    }
    case FP_ACTION_CONFIG: {
        TQvCmdEngineeringConfig config = settings.Config();
        config.UsblCal = params.Config.UsblCal;
        settings.SetConfig(config);
        RunCheckEndLater();
        break;
    }
    default:
        break;
    }
}

void TQvMainFrm::closeEvent(QCloseEvent* event)
{
    // Closing mid-run would leave the beacon half-programmed without a word in the log: the
    // operator confirms, and the engine stops (and logs it) before the port is closed.
    if (AppCore && AppCore->FlashProg()->State() != FP_IDLE) {
        if (!QvDialogs().Confirm(kCloseWhileBusy)) {
            event->ignore();
            return;
        }
        AppCore->FlashProg()->Stop();
    }
    QWidget::closeEvent(event);
}

void TQvMainFrm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Controls get their real sizes only once shown: shorten the file names to the list's width
    // now instead of showing them cut for the width of a control not yet placed.
    if (!event->spontaneous()) {
        layout()->activate();
        UpdateForm();
    }
    PlaceWithFrame();
}

void TQvMainFrm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    PlaceWithFrame();
    FormResize();
}

void TQvMainFrm::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    PlaceWithFrame();
}

void TQvMainFrm::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange)
        PlaceWithFrame();
}

void TQvMainFrm::PlaceWithFrame()
{
    // The placement is restored before the window is shown, when the size of its frame is not
    // known yet on every system; a placement at the top of the desktop then leaves the title bar
    // above it. Restored once more with the frame known, the whole frame lies on the desktop.
    if (fPlacedWithFrame || !AppCore || !isVisible() || isMinimized() || !TQvWindowPlacement::FrameKnown(*this))
        return;
    fPlacedWithFrame = true;
    TQvWindowPlacement::Apply(*AppCore->Settings(), kWindowId, *this);
}

void TQvMainFrm::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), IsFirmwareFile))
        event->acceptProposedAction();
}

void TQvMainFrm::dropEvent(QDropEvent* event)
{
    for (const QUrl& url : event->mimeData()->urls())
        if (IsFirmwareFile(url)) {
            event->acceptProposedAction();
            SetFilename(url.toLocalFile().toStdString());
            return;
        }
}

bool TQvMainFrm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == uProgramLog->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        uProgramLogDblClick();
        return true;
    }
    if (watched == uWebLbl && event->type() == QEvent::MouseButtonRelease) {
        uWebLblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
