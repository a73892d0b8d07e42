#include "ui/QvWindowPlacement.h"

#include "framework/CvText.h"

#include <QGuiApplication>
#include <QMargins>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

TCvRect ToCvRect(const QRect& r)
{
    return TCvRect{r.left(), r.top(), r.width(), r.height()};
}

QScreen* ScreenOf(const QWidget& window)
{
    QScreen* screen = window.screen();
    return screen ? screen : QGuiApplication::primaryScreen();
}

} // namespace

TCvRect TQvWindowPlacement::NormalGeometry() const
{
    // A window that was never shown has no normal geometry yet; its geometry is the one to keep.
    const QRect normal = fWindow.normalGeometry();
    return ToCvRect(normal.isValid() ? normal : fWindow.geometry());
}

TCvWindowState TQvWindowPlacement::WindowState() const
{
    const Qt::WindowStates state = fWindow.windowState();
    if (state & Qt::WindowMinimized)
        return wsMinimized;
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return wsMaximized;
    return wsNormal;
}

TCvRect TQvWindowPlacement::DesktopGeometry() const
{
    // The geometry kept on the desktop is the client area; room is left for the frame around it
    // (title bar included) once the window system has told its size.
    QRect all;
    for (const QScreen* screen : QGuiApplication::screens())
        all = all.united(screen->availableGeometry());
    return ToCvRect(all.marginsRemoved(FrameMargins(fWindow)));
}

QMargins TQvWindowPlacement::FrameMargins(const QWidget& window)
{
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                    frame.bottom() - client.bottom());
}

bool TQvWindowPlacement::FrameKnown(const QWidget& window)
{
    return !FrameMargins(window).isNull();
}

void TQvWindowPlacement::SetNormalGeometry(const TCvRect& rect)
{
    // Stored as the client area (as NormalGeometry reports it), never below the minimum size.
    fWindow.setGeometry(rect.Left, rect.Top, std::max(rect.Width, fWindow.minimumWidth()),
                        std::max(rect.Height, fWindow.minimumHeight()));
}

void TQvWindowPlacement::SetWindowState(TCvWindowState state)
{
    Qt::WindowStates states = fWindow.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (state == wsMaximized)
        states |= Qt::WindowMaximized;
    else if (state == wsMinimized)
        states |= Qt::WindowMinimized;
    fWindow.setWindowState(states);
}

void TQvWindowPlacement::CenterOnScreen()
{
    const QScreen* screen = ScreenOf(fWindow);
    if (!screen)
        return;
    QRect frame = fWindow.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    fWindow.move(frame.topLeft());
}

bool TQvWindowPlacement::Apply(TCvAppSettings& settings, const std::string& id, QWidget& window)
{
    TQvWindowPlacement placement(window);
    const bool restored = settings.WindowApply(id, &placement);
    if (!restored && settings.AppWindows().count(CvUpperCase(id)) == 0)
        placement.CenterOnScreen(); // first run: nothing remembered yet
    return restored;
}

bool TQvWindowPlacement::Store(TCvAppSettings& settings, const std::string& id, QWidget& window)
{
    const TQvWindowPlacement placement(window);
    return settings.WindowStore(id, &placement);
}
