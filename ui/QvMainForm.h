// The program's main window: serial connection, firmware file choice, the three operations
// (Info, Program, Config), the programming progress and the program log. Creating it creates the
// application core; destroying it saves the settings and frees the core. UpdateForm is the one
// place that sets the state of the controls.
#pragma once

#include "app/QvProgressText.h"
#include "framework/CvTimer.h"
#include "protocol/QvCmdDefs.h"
#include "ui/QvMarks.h"

#include <QWidget>

#include <cstdint>
#include <string>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class TQvDropDownCombo;
class TQvLogView;
class TQvOutcomePanel;
class TQvPictureBox;
struct TCvAppLogAddParams;
struct TComNotifyParams;
struct TQvFlashProgActionParams;

class TQvMainFrm : public QWidget {
    Q_OBJECT
public:
    // Creates the application core (AppCore) and connects to the configured port.
    explicit TQvMainFrm(QWidget* parent = nullptr);
    // Disconnects, stores the window placement, saves the settings and frees the core.
    ~TQvMainFrm() override;

    // Selects a firmware file: when it exists it becomes the first recent file.
    void SetFilename(const std::string& filename);
    const std::string& Filename() const { return fFileName; }
    bool FileValid() const { return fFileValid; }

    // The maker's web address: the label's text and the page it opens.
    static const char* WebText();
    static const char* WebAddress();

protected:
    // While the engine works with the beacon, closing asks first and stops the engine on Yes.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void FormCreate();
    void FormDestroy();
    void FormResize();
    // Places the window once more when its frame has become known (see TQvWindowPlacement).
    void PlaceWithFrame();

    void FormEventsDisable();
    void FormEventsEnable(bool reset);
    void UpdateForm();
    void UpdatePorts();
    void UpdatePortSelection();
    void UpdateBaudSelection();

    void uCommsPortComboDropDown();
    void uCommsPortComboChange();
    void uCommsBaudComboChange();
    void uConnectBtnClick();
    void uFileListSelect(int index);
    void uFileBrowseBtnClick();
    void uInfoBtnClick();
    void uProgramBtnClick();
    void uHardwareBtnClick();
    void uProgramLogDblClick();
    void uResizeTimerTimer(TCvTimerParams& params);
    void uWebLblClick();

    // The operation the operator started, followed to its end for the outcome panel.
    enum ERunKind : uint8_t { RUN_INFO, RUN_PROGRAM, RUN_CONFIG };
    void RunBegin(ERunKind kind);
    void RunShowProgress();
    void RunEnd(EQvMark mark, const char* word, const std::string& detail);
    // Ends the run once the engine is idle again: Info and Config end without an event.
    void RunCheckEnd();
    void RunCheckEndLater();
    uint64_t RunElapsedMs() const;
    std::string RunIdentity() const;
    void uRunTimerTimer(TCvTimerParams& params);

    void AppLogAdd(TCvAppLogAddParams& params);
    void ComPortAfterOpen(TComNotifyParams& params);
    void ComPortAfterClose(TComNotifyParams& params);
    void FlashProgAction(TQvFlashProgActionParams& params);

    bool fFileValid = false;
    std::string fFileName;
    int32_t fFormEventsSupress = 0;
    bool fPlacedWithFrame = false;
    bool fRunActive = false;
    ERunKind fRunKind = RUN_INFO;
    uint64_t fRunStartMs = 0;
    std::string fRunFirstError;
    bool fRunHasInfo = false;
    TQvCmdInfo fRunInfo;
    TQvProgressState fRunProgress;

    QLabel* uVersionLbl = nullptr;
    TQvPictureBox* uHeaderImg = nullptr;
    TQvDropDownCombo* uCommsPortCombo = nullptr;
    QComboBox* uCommsBaudCombo = nullptr;
    QPushButton* uConnectBtn = nullptr;
    QComboBox* uFileList = nullptr;
    QPushButton* uFileBrowseBtn = nullptr;
    QProgressBar* uProgramBar = nullptr;
    QPushButton* uInfoBtn = nullptr;
    QPushButton* uHardwareBtn = nullptr;
    QPushButton* uProgramBtn = nullptr;
    TQvLogView* uProgramLog = nullptr;
    TQvPictureBox* uFooterImg = nullptr;
    QLabel* uWebLbl = nullptr;
    TQvOutcomePanel* uOutcomePnl = nullptr;
    TCvTimer uResizeTimer;
    TCvTimer uRunTimer; // refreshes the elapsed time of a run once a second
};
