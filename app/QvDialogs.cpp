#include "app/QvDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include <cstdio>

namespace {

TQvDialogs HeadlessDialogs()
{
    TQvDialogs d;
    d.ShowError = [](const std::string& text, const std::string& detail) {
        std::fprintf(stderr, "%s%s%s\n", text.c_str(), detail.empty() ? "" : "\n", detail.c_str());
    };
    d.Confirm = [](const std::string&) { return false; };
    d.OpenFile = [](const TQvFileDialogParams&) { return std::string(); };
    d.SaveFile = [](const TQvFileDialogParams&) { return std::string(); };
    return d;
}

QString StartPath(const TQvFileDialogParams& p)
{
    QString folder = QString::fromStdString(p.Folder);
    if (p.FileName.empty())
        return folder;
    return QDir(folder).filePath(QString::fromStdString(p.FileName));
}

QString WithDefaultExt(QString path, const TQvFileDialogParams& p)
{
    if (!path.isEmpty() && !p.DefaultExt.empty() && QFileInfo(path).suffix().isEmpty())
        path += "." + QString::fromStdString(p.DefaultExt);
    return path;
}

} // namespace

TQvDialogs& QvDialogs()
{
    static TQvDialogs dialogs = HeadlessDialogs();
    return dialogs;
}

void QvInstallQtDialogs()
{
    TQvDialogs& d = QvDialogs();
    d.ShowError = [](const std::string& text, const std::string& detail) {
        QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(),
                        QString::fromStdString(text), QMessageBox::Ok, QApplication::activeWindow());
        if (!detail.empty())
            box.setInformativeText(QString::fromStdString(detail));
        box.exec();
    };
    d.Confirm = [](const std::string& text) {
        return QMessageBox::question(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                                     QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No)
            == QMessageBox::Yes;
    };
    d.OpenFile = [](const TQvFileDialogParams& p) {
        QFileDialog dlg(QApplication::activeWindow(), QString::fromStdString(p.Title), StartPath(p),
                        QString::fromStdString(p.Filter));
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(p.MustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        dlg.setOption(QFileDialog::ReadOnly, false);
        dlg.setDefaultSuffix(QString::fromStdString(p.DefaultExt));
        dlg.setSizeGripEnabled(true);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return std::string();
        return dlg.selectedFiles().first().toStdString();
    };
    d.SaveFile = [](const TQvFileDialogParams& p) {
        // Qt's dialogs accept a name in a folder that does not exist; the operator is told and
        // chooses again, starting from the name given.
        QString start = StartPath(p);
        for (;;) {
            QFileDialog dlg(QApplication::activeWindow(), QString::fromStdString(p.Title), start,
                            QString::fromStdString(p.Filter));
            dlg.setAcceptMode(QFileDialog::AcceptSave);
            dlg.setFileMode(QFileDialog::AnyFile);
            dlg.setDefaultSuffix(QString::fromStdString(p.DefaultExt));
            dlg.setSizeGripEnabled(true);
            if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
                return std::string();
            const QString chosen = WithDefaultExt(dlg.selectedFiles().first(), p);
            const QString folder = QFileInfo(chosen).absolutePath();
            if (QFileInfo(folder).isDir())
                return chosen.toStdString();
            QMessageBox::warning(QApplication::activeWindow(), QString::fromStdString(p.Title),
                                 QString("The folder \"%1\" does not exist.\nChoose an existing folder.")
                                     .arg(QDir::toNativeSeparators(folder)));
            start = QDir(QString::fromStdString(p.Folder)).filePath(QFileInfo(chosen).fileName());
        }
    };
}
