#include "framework/qt/gui/CvQtShell.h"

#include "framework/CvApp.h"

#include <QDesktopServices>

QUrl CvQtShellUrl(const std::string& target)
{
    const QString text = QString::fromStdString(target);
    const QUrl url(text, QUrl::StrictMode);
    // A scheme of one letter is a drive ("C:/data"), not an address.
    if (url.isValid() && url.scheme().size() > 1 && (text.contains(QStringLiteral("://")) || url.scheme() == "mailto"))
        return url;
    return QUrl::fromLocalFile(text);
}

void CvQtUseDesktopServices()
{
    TCvApp::SetShellOpenFunction([](const std::string& target) { QDesktopServices::openUrl(CvQtShellUrl(target)); });
}
