#include "FolderChooser.h"

#include "Application.h"

#include <QFileDialog>

namespace orvex {

std::function<QString(const QString& title)> FolderChooserHook;

QString BrowseForFolder(const QString& title, unsigned flags, const QString& startFolder)
{
    QString path;
    if (FolderChooserHook) {
        path = FolderChooserHook(title);
    } else {
        QFileDialog::Options options = QFileDialog::ShowDirsOnly;
        if (!(flags & BIF_RETURNONLYFSDIRS))
            options |= QFileDialog::DontResolveSymlinks;
        path = QFileDialog::getExistingDirectory(Application().MainForm, title, startFolder, options);
    }
    if (path.isEmpty())
        return {};
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

} // namespace orvex
