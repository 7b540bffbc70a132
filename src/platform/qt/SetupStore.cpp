#include "platform/qt/SetupStore.h"

#include <QSettings>
#include <QStandardPaths>

namespace rostrel {

namespace {

template <typename T> std::optional<T> value(const QSettings& s, const char* key) {
    const QVariant v = s.value(QString::fromLatin1(key));
    if (!v.isValid() || !v.canConvert<T>())
        return std::nullopt;
    return v.value<T>();
}

// A number stored in range, or nothing (a hand-edited file cannot break the start).
std::optional<int> choice(const QSettings& s, const char* key, int last) {
    const QVariant v = s.value(QString::fromLatin1(key));
    bool ok = false;
    const int n = v.toInt(&ok);
    return ok && n >= 0 && n <= last ? std::optional<int>(n) : std::nullopt;
}

std::optional<bool> flag(const QSettings& s, const char* key) {
    const QString v = s.value(QString::fromLatin1(key)).toString();
    if (v == u"true" || v == u"1")
        return true;
    if (v == u"false" || v == u"0")
        return false;
    return std::nullopt;
}

template <typename T> void put(QSettings& s, const char* key, const std::optional<T>& v) {
    if (v)
        s.setValue(QString::fromLatin1(key), QVariant::fromValue(*v));
}

} // namespace

SettingsSetupStore::SettingsSetupStore(QString file) : file_(std::move(file)) {}

QString SettingsSetupStore::defaultFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/rostrel/rostrel.conf");
}

RememberedSetup SettingsSetupStore::load() const {
    const QSettings s(file_, QSettings::IniFormat);
    RememberedSetup r;
    r.rollBook = value<QString>(s, "rollBook/path");
    r.className = value<QString>(s, "rollBook/class");
    r.category = choice(s, "rollCall/category", 2);
    r.drawRule = choice(s, "rollCall/drawRule", 1);
    r.rolling = flag(s, "rollCall/rolling");
    r.repeat = flag(s, "rollCall/repeat");
    r.presentation = choice(s, "rollCall/presentation", 5);
    r.newColumn = flag(s, "scoring/newColumn");
    r.clockAmount = value<QString>(s, "clock/amount");
    r.clockUnit = choice(s, "clock/unit", 2);
    r.clockMode = choice(s, "clock/mode", 1);
    if (const auto size = value<QSize>(s, "window/size"); size && size->width() > 0 && size->height() > 0)
        r.windowSize = size;
    r.skipSplash = flag(s, "start/skipSplash");
    return r;
}

void SettingsSetupStore::save(const RememberedSetup& r) {
    QSettings s(file_, QSettings::IniFormat);
    put(s, "rollBook/path", r.rollBook);
    put(s, "rollBook/class", r.className);
    put(s, "rollCall/category", r.category);
    put(s, "rollCall/drawRule", r.drawRule);
    put(s, "rollCall/rolling", r.rolling);
    put(s, "rollCall/repeat", r.repeat);
    put(s, "rollCall/presentation", r.presentation);
    put(s, "scoring/newColumn", r.newColumn);
    put(s, "clock/amount", r.clockAmount);
    put(s, "clock/unit", r.clockUnit);
    put(s, "clock/mode", r.clockMode);
    put(s, "window/size", r.windowSize);
    put(s, "start/skipSplash", r.skipSplash);
    s.sync();
}

} // namespace rostrel
