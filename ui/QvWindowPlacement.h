// The settings store's window interface on a Qt top-level widget, so a window's placement is
// remembered between runs: the restored geometry, the state, and the screens it may occupy.
#pragma once

#include "framework/CvAppSettings.h"

#include <string>

class QMargins;
class QWidget;

class TQvWindowPlacement : public ICvAppWindow {
public:
    explicit TQvWindowPlacement(QWidget& window) : fWindow(window) {}

    TCvRect NormalGeometry() const override;
    TCvWindowState WindowState() const override;
    TCvRect DesktopGeometry() const override;
    void SetNormalGeometry(const TCvRect& rect) override;
    void SetWindowState(TCvWindowState state) override;
    void CenterOnScreen() override;

    // The window frame around the client area; empty until the window system has told it
    // (on some systems only once the window is on the screen).
    static QMargins FrameMargins(const QWidget& window);
    static bool FrameKnown(const QWidget& window);

    // Restores the placement remembered under `id`: before the window is shown, and once more
    // when its frame becomes known, so that the whole frame lies on the desktop.
    static bool Apply(TCvAppSettings& settings, const std::string& id, QWidget& window);
    // Records the window's current placement under `id`.
    static bool Store(TCvAppSettings& settings, const std::string& id, QWidget& window);

private:
    QWidget& fWindow;
};
