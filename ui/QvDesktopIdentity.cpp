#include "ui/QvDesktopIdentity.h"

#include "ui/QvPictures.h"

#include <QApplication>

void QvSetDesktopIdentity(const char* title)
{
    QApplication::setApplicationName(title);
    QApplication::setApplicationDisplayName(title);
    QApplication::setWindowIcon(TQvPictures::AppIcon());
}
