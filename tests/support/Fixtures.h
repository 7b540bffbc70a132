// Paths of the shared roll-book fixtures, and copies of them in a temporary folder.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace rostrel::test {

inline QString fixturePath(const QString& name) {
    return QDir(QStringLiteral(ROSTREL_FIXTURES_DIR)).filePath(name);
}

// Copies a fixture into `dir` (writable) and returns the copy's path, or "" on failure.
inline QString copyFixture(const QTemporaryDir& dir, const QString& name, const QString& as = QString()) {
    const QString target = dir.filePath(as.isEmpty() ? QFileInfo(name).fileName() : as);
    QFile::remove(target);
    if (!QFile::copy(fixturePath(name), target))
        return {};
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return target;
}

} // namespace rostrel::test
