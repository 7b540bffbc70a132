// Paths of the roll-book fixtures, and copies of them in a temporary folder.
//
// The small roll books are kept in tests/data/fixtures; the large real-world corpora live only in
// the shared fixture folder beside the checkout, which a lone clone does not have.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

namespace rostrel::test {

inline QString sharedFixturePath(const QString& name) {
    return QDir(QStringLiteral(ROSTREL_FIXTURES_DIR)).filePath(name);
}

// A fixture file or folder: the copy in tests/data/fixtures when there is one, else the shared one.
inline QString fixturePath(const QString& name) {
    const QString local = QDir(QStringLiteral(ROSTREL_TEST_DATA_DIR "/fixtures")).filePath(name);
    return QFileInfo::exists(local) ? local : sharedFixturePath(name);
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

// Skips the current test when a fixture (file or folder) is absent, e.g. the shared corpora in a
// lone clone; CI, which has them, runs the test.
#define ROSTREL_SKIP_WITHOUT_FIXTURE(path)                                                                             \
    do {                                                                                                               \
        const QString rostrelFixture_ = (path);                                                                        \
        if (!QFileInfo::exists(rostrelFixture_))                                                                       \
            GTEST_SKIP() << "needs " << rostrelFixture_.toStdString()                                                  \
                         << " (the shared fixtures beside the checkout); not there, skipped";                          \
    } while (0)
