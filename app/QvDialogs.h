// The program's few modal dialogs, as replaceable functions: the windows and the core call these,
// the desktop program installs Qt implementations, and tests and headless runs install their
// own so nothing ever blocks on a modal window.
#pragma once

#include <functional>
#include <string>

// A file dialog request: title, folder and file name to start with, filter ("Text (*.ext)"
// entries separated by ";;"), default extension without the dot, and whether the file must exist.
struct TQvFileDialogParams {
    std::string Title;
    std::string Folder;
    std::string FileName;
    std::string Filter;
    std::string DefaultExt;
    bool MustExist = false;
};

struct TQvDialogs {
    // Modal error box with a single OK button; `detail` may add the system's reason.
    std::function<void(const std::string& text, const std::string& detail)> ShowError;
    // Confirmation box with Yes and No; true for Yes.
    std::function<bool(const std::string& text)> Confirm;
    // Open and save dialogs: the chosen full path, or empty when cancelled. A save dialog takes
    // a file in an existing folder only.
    std::function<std::string(const TQvFileDialogParams& params)> OpenFile;
    std::function<std::string(const TQvFileDialogParams& params)> SaveFile;
};

// The installed dialogs. Until something else is installed: errors go to standard error,
// confirmations answer No and file dialogs are cancelled.
TQvDialogs& QvDialogs();
// Installs the Qt message boxes and file dialogs (desktop program).
void QvInstallQtDialogs();
