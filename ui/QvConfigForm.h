// The factory configuration window: edits the hardware identity and the USBL baseline
// calibration that the tool writes into a beacon, and loads and saves them as a Beacon Config
// File. Each control stores its value when it is left and the window then redraws from the
// stored record, so the operator always sees the value as it will be written.
#pragma once

#include "protocol/QvCmdDefs.h"

#include <QDialog>

#include <functional>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class TQvConfigFrm : public QDialog {
    Q_OBJECT
public:
    explicit TQvConfigFrm(QWidget* owner = nullptr);
    // Seeded with a configuration and the folder its file dialogs open in.
    TQvConfigFrm(const TQvCmdEngineeringConfig& config, const std::string& configPath, QWidget* owner = nullptr);
    ~TQvConfigFrm() override;

    const TQvCmdEngineeringConfig& Config() const { return fConfig; }
    // Copies the configuration and redraws the window from it.
    void SetConfig(const TQvCmdEngineeringConfig& config);
    // Folder of the load and save dialogs; ends with the folder separator once a file was chosen.
    const std::string& ConfigPath() const { return fConfigPath; }
    void SetConfigPath(const std::string& path) { fConfigPath = path; }

    // Redraws every control from the configuration and enables what the mode allows: without
    // engineering mode only the two user flag boxes, Save, OK and Cancel.
    void FormUpdate();

    // The part number list: five-digit part numbers of the supported beacon models.
    static const std::vector<std::string>& PartNumberItems();

private:
    void CreateControls();
    QLineEdit* NewEdit(const char* name, int maxLength, bool digitsOnly);
    // Runs `onExit` whenever keyboard focus leaves `control` for another control of this window
    // after the operator changed `text` (the control's own edit).
    void AddExitHandler(QWidget* control, QLineEdit* text, std::function<void()> onExit);
    void FocusChanged(QWidget* old, QWidget* now);
    // Stores the value of the control that has focus, for actions reached without leaving it
    // (Enter, mnemonics).
    void CommitFocused();

    void uPartCmbExit();
    void uRevisionEditExit();
    void uSerialEditExit();
    void uFlagsSysEditExit();
    void SetBaseline(QLineEdit* edit);
    void SetFlagsUserBit(uint16_t bit, bool set);
    void uResetBtnClick();
    void uLoadBtnClick();
    void uSaveBtnClick();
    void uOkBtnClick();

    TQvCmdEngineeringConfig fConfig;
    std::string fConfigPath;

    QComboBox* uPartCmb = nullptr;
    QLineEdit* uRevisionEdit = nullptr;
    QLineEdit* uSerialEdit = nullptr;
    QLineEdit* uFlagsSysEdit = nullptr;
    QCheckBox* uFlagsCsumDisableChk = nullptr;
    QCheckBox* uFlagsMagSensDisableChk = nullptr;
    std::vector<QLineEdit*> fBaselineEdits; // row by row, columns A, B, C, D
    QCheckBox* uUsblCalValidChk = nullptr;
    QPushButton* uResetBtn = nullptr;
    QPushButton* uLoadBtn = nullptr;
    QPushButton* uSaveBtn = nullptr;
    QPushButton* uCancelBtn = nullptr;
    QPushButton* uOkBtn = nullptr;

    std::vector<std::pair<QWidget*, std::function<void()>>> fExitHandlers;
    QMetaObject::Connection fFocusConnection;
};
