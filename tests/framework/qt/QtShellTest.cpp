#include "framework/CvApp.h"
#include "framework/qt/gui/CvQtShell.h"

#include <QDesktopServices>
#include <QObject>
#include <QUrl>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Stands in for the desktop's handlers of web and file addresses.
class TShellUrlSink : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> Opened;
public slots:
    void Open(const QUrl& url) { Opened.push_back(url); }
};

TEST(CvQtShell, TargetsBecomeUrls)
{
    struct TCase {
        const char* Target;
        const char* Url;
    };
    const TCase cases[] = {
        {"https://quorvan.example/products", "https://quorvan.example/products"},
        {"mailto:support@quorvan.example", "mailto:support@quorvan.example"},
        {"/home/op/fw/app v2.fwx", "file:///home/op/fw/app%20v2.fwx"},
        {"/tmp/a#b?.txt", "file:///tmp/a%23b%3F.txt"},
        {"C:/data/a.fwx", "file:///C:/data/a.fwx"}, // a drive letter is no scheme
    };
    for (const TCase& c : cases)
        EXPECT_EQ(CvQtShellUrl(c.Target).toString(QUrl::FullyEncoded).toStdString(), c.Url) << c.Target;
}

TEST(CvQtShell, ShellFunctionsOpenThroughDesktopServices)
{
    TShellUrlSink sink;
    QDesktopServices::setUrlHandler("https", &sink, "Open");
    QDesktopServices::setUrlHandler("file", &sink, "Open");
    CvQtUseDesktopServices();
    TCvApp::ShellShowFile("https://quorvan.example/products");
    TCvApp::ShellShowFolder("/");
    TCvApp::ShellShowFolder("/no/such/folder/here");
    TCvApp::SetShellOpenFunction(nullptr);
    QDesktopServices::unsetUrlHandler("https");
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(sink.Opened.size(), 2u);
    EXPECT_EQ(sink.Opened[0], QUrl("https://quorvan.example/products"));
    EXPECT_EQ(sink.Opened[1], QUrl::fromLocalFile("/"));
}

#include "QtShellTest.moc"
