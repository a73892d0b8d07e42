#include "ui/QvDesktopIdentity.h"

#include "ui/QvPictures.h"

#include <QApplication>

void QvSetDesktopIdentity(const char* title)
{
    // No display name: the window systems would append it to every window title, and the
    // titles already carry the program's name. Message boxes take the application's name.
    QApplication::setApplicationName(title);
    QApplication::setWindowIcon(TQvPictures::AppIcon());
}
