// Path shortening for the recent-files list.
#include "ui/QvPathShorten.h"

#include <QApplication>
#include <QFontMetrics>

#include <gtest/gtest.h>

namespace {
int Chars(const std::string& s)
{
    return static_cast<int>(s.size());
}
} // namespace

TEST(PathShorten, DropsLeadingFoldersOneByOneThenTheRoot)
{
    const std::string path = "/home/user/firmware/beacon/file.fwx";
    const struct {
        int Limit;
        const char* Shown;
    } cases[] = {
        {100, "/home/user/firmware/beacon/file.fwx"},
        {35, "/home/user/firmware/beacon/file.fwx"},
        {34, "/.../user/firmware/beacon/file.fwx"},
        {33, "/.../firmware/beacon/file.fwx"},
        {20, "/.../beacon/file.fwx"},
        {19, "/.../file.fwx"},
        {12, ".../file.fwx"},
        {11, "file.fwx"},
        {0, "file.fwx"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TQvPathShorten::Shorten(path, c.Limit, Chars, '/'), c.Shown) << c.Limit;
}

TEST(PathShorten, KeepsTheDriveUntilOnlyTheMarkerIsLeft)
{
    const std::string path = "C:\\data\\fw\\beacon.fwx";
    EXPECT_EQ(TQvPathShorten::Shorten(path, 20, Chars, '\\'), "C:\\...\\fw\\beacon.fwx");
    EXPECT_EQ(TQvPathShorten::Shorten(path, 17, Chars, '\\'), "C:\\...\\beacon.fwx");
    EXPECT_EQ(TQvPathShorten::Shorten(path, 14, Chars, '\\'), "...\\beacon.fwx");
    EXPECT_EQ(TQvPathShorten::Shorten(path, 1, Chars, '\\'), "beacon.fwx");
    EXPECT_EQ(TQvPathShorten::Shorten("C:beacon.fwx", 5, Chars, '\\'), "beacon.fwx");
}

TEST(PathShorten, HiddenFoldersGoAsWholeFolders)
{
    EXPECT_EQ(TQvPathShorten::Shorten("/.cache/x/y/f.fwx", 13, Chars, '/'), "/.../y/f.fwx");
    EXPECT_EQ(TQvPathShorten::Shorten("/.a/bb/cc/f.fwx", 14, Chars, '/'), "/.../cc/f.fwx");
    EXPECT_EQ(TQvPathShorten::Shorten("f.fwx", 0, Chars, '/'), "f.fwx");
}

TEST(PathShorten, FitsRealTextWidths)
{
    const QFontMetrics fm(QApplication::font());
    auto width = [&](const std::string& s) { return fm.horizontalAdvance(QString::fromStdString(s)); };
    const std::string path = "/srv/факторы/very/long/folder/names/for/the/beacon/firmware/release.fwx";
    const int limit = width("/.../for/the/beacon/firmware/release.fwx") + 1;
    const std::string shown = TQvPathShorten::Shorten(path, limit, width, '/');
    EXPECT_LE(width(shown), limit);
    EXPECT_EQ(shown.rfind("/.../", 0), 0u) << shown;
    EXPECT_NE(shown.find("firmware/release.fwx"), std::string::npos) << shown;
}
