// The shell's "open" through the desktop toolkit: TCvApp::ShellShowFile and its kin then open
// files, folders and web addresses with QDesktopServices instead of starting xdg-open.
#pragma once

#include <QUrl>

#include <string>

// The address QDesktopServices is given for a target: a web address (or another URL with a
// scheme, such as mailto:) as it stands, anything else as a local file.
QUrl CvQtShellUrl(const std::string& target);
// Makes TCvApp's shell functions use QDesktopServices (call once the application object exists).
void CvQtUseDesktopServices();
