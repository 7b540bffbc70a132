// The seams between the program and the desktop: message boxes, the open-file dialog, sound,
// time and randomness, opening a file in another program. The window sees only these
// interfaces; the real ones live in platform/qt, tests put fakes in their place.
#pragma once

#include <QDateTime>
#include <QString>
#include <memory>

namespace rostrel {

class SetupStore;

enum class MessageIcon { None, Error, Information };

// Captions used by the program's message boxes.
inline const QString kWarningCaption = QStringLiteral("警告");
inline const QString kAppTitle = QStringLiteral("Rostrel");

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Modal, OK button only.
    virtual void show(const QString& caption, const QString& text, MessageIcon icon) = 0;
    // The two kinds the program uses.
    void warn(const QString& text) { show(kWarningCaption, text, MessageIcon::Error); }
    void inform(const QString& text) { show(kAppTitle, text, MessageIcon::None); }
};

struct FileChoice {
    QString path;  // full path; empty when the user gave no file name (cancel)
    QString title; // file name without its folder
};

class FileDialog {
public:
    virtual ~FileDialog() = default;
    // `filter` in the program's form "description|patterns", pairs joined by '|'
    // ("Excel文件|*.xls|全部|*.*"); the first pair is the one selected.
    virtual FileChoice getOpenFileName(const QString& filter) = 0;
};

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Plays a wave file in the background; a new cue cuts off the playing one; a missing
    // file gives the default beep. Never fails.
    virtual void playWave(const QString& relativePath) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0; // local date and time
    QTime timeOfDay() const { return now().time(); }
    QDate today() const { return now().date(); }
};

class Random {
public:
    virtual ~Random() = default;
    virtual void reseed(double secondsSinceMidnight) = 0; // reseed from the time of day
    virtual float next() = 0;                             // uniform in [0, 1)
};

class Launcher {
public:
    virtual ~Launcher() = default;
    // Opens a file in the desktop's program for it; false when nothing could be started.
    virtual bool openFile(const QString& path) = 0;
};

// The set of seams one window uses. Owned by whoever creates the window.
struct Platform {
    MessageBoxes* messages = nullptr;
    FileDialog* fileDialog = nullptr;
    SoundPlayer* sound = nullptr;
    Clock* clock = nullptr;
    Random* random = nullptr;
    Launcher* launcher = nullptr;
    SetupStore* setup = nullptr; // none: nothing is remembered
};

} // namespace rostrel
