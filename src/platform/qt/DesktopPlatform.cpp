#include "platform/qt/DesktopPlatform.h"

#include "platform/qt/SetupStore.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QProcess>
#include <QSoundEffect>
#include <QUrl>
#include <cstring>

namespace rostrel {

DesktopPlatform::DesktopPlatform() {
    if (rememberingWanted(QCoreApplication::arguments(), qgetenv(kNoRememberVariable)))
        setup = std::make_unique<SettingsSetupStore>();
    else
        setup = std::make_unique<NoSetupStore>();
}

void QtMessageBoxes::show(const QString& caption, const QString& text, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Error         ? QMessageBox::Critical
                    : icon == MessageIcon::Information ? QMessageBox::Information
                                                       : QMessageBox::NoIcon,
                    caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

QString qtFileFilter(const QString& filter) {
    // "点名册|*.xls *.xlsx|Excel|*.xlsx" -> "点名册 (*.xls *.xlsx);;Excel (*.xlsx)"
    const QStringList parts = filter.split(u'|');
    if (parts.size() < 2)
        return filter;
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        entries << parts[i] + QStringLiteral(" (") + parts[i + 1] + u')';
    return entries.join(QStringLiteral(";;"));
}

FileChoice QtFileDialog::getOpenFileName(const QString& filter) {
    const QString qtFilter = qtFileFilter(filter);
    const QString path = QFileDialog::getOpenFileName(QApplication::activeWindow(), QString(), QString(), qtFilter);
    if (path.isEmpty())
        return {};
    return {QDir::toNativeSeparators(path), QFileInfo(path).fileName()};
}

QtSoundPlayer::QtSoundPlayer() = default;
QtSoundPlayer::~QtSoundPlayer() = default;

void QtSoundPlayer::playWave(const QString& relativePath) {
    QString rel = relativePath;
    rel.replace(u'\\', u'/');
    const QString file = findDataFile(rel);
    if (file.isEmpty()) {
        QApplication::beep();
        return;
    }
    if (!effect_)
        effect_ = std::make_unique<QSoundEffect>();
    effect_->stop();
    effect_->setSource(QUrl::fromLocalFile(file));
    effect_->play();
}

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTime();
}

void SystemRandom::reseed(double secondsSinceMidnight) {
    uint64_t bits = 0;
    static_assert(sizeof bits == sizeof secondsSinceMidnight);
    std::memcpy(&bits, &secondsSinceMidnight, sizeof bits);
    std::seed_seq seq{static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)};
    engine_.seed(seq);
}

float SystemRandom::next() {
    // 24 random bits give a float in [0, 1) with no rounding up to 1.
    return static_cast<float>(engine_() >> 8) / 16777216.0f;
}

namespace {

// False only when the desktop says for sure that no program is set up for the file's type;
// true when it cannot tell.
bool hasProgramFor(const QString& path) {
    const QString type = QMimeDatabase().mimeTypeForFile(path).name();
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!query.waitForFinished(5000) || query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0) {
        query.kill();
        query.waitForFinished(1000);
        return true;
    }
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

bool DesktopLauncher::openFile(const QString& path) {
    // The opener starts and returns at once even when no program takes the file (it then
    // fails out of sight), so the desktop's choice of program is asked for first.
    if (!hasProgramFor(path))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QString findDataFile(const QString& relativePath) {
    const QString candidates[] = {
        QDir::current().filePath(relativePath),
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(ROSTREL_DATA_FROM_BIN "/") + relativePath),
    };
    for (const QString& c : candidates)
        if (QFileInfo(c).isFile())
            return c;
    return {};
}

} // namespace rostrel
