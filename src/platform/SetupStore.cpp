#include "platform/SetupStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace rostrel {

bool rememberingWanted(const QStringList& arguments, const QByteArray& variable) {
    if (arguments.contains(kNoRememberOption))
        return false;
    return variable.isEmpty() || variable == "0";
}

QStringList rollBookFolders() {
    QStringList folders{QDir::currentPath()};
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty())
        folders.append(documents);
    if (QCoreApplication::instance())
        folders.append(QCoreApplication::applicationDirPath());
    folders.removeDuplicates();
    return folders;
}

QString startRollBook(const std::optional<QString>& remembered, const QStringList& fileNames,
                      const QStringList& folders) {
    if (remembered && !remembered->isEmpty() && QFileInfo(*remembered).isFile())
        return QFileInfo(*remembered).absoluteFilePath();
    for (const QString& folder : folders) {
        for (const QString& name : fileNames) {
            const QFileInfo f(QDir(folder).filePath(name));
            if (f.isFile())
                return f.absoluteFilePath();
        }
    }
    return {};
}

} // namespace rostrel
