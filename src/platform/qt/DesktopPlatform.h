// The real seams: Qt message boxes and file dialog, QSoundEffect, the system clock, a
// pseudo-random generator, and the desktop's file opener.
#pragma once

#include "platform/Platform.h"
#include "platform/SetupStore.h"

#include <memory>
#include <random>

class QSoundEffect;

namespace rostrel {

class QtMessageBoxes : public MessageBoxes {
public:
    void show(const QString& caption, const QString& text, MessageIcon icon) override;
};

// The program's filter (description|patterns pairs) in QFileDialog's form.
QString qtFileFilter(const QString& filter);

class QtFileDialog : public FileDialog {
public:
    FileChoice getOpenFileName(const QString& filter) override;
};

class QtSoundPlayer : public SoundPlayer {
public:
    QtSoundPlayer();
    ~QtSoundPlayer() override;
    void playWave(const QString& relativePath) override;

private:
    std::unique_ptr<QSoundEffect> effect_;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override;
};

class SystemRandom : public Random {
public:
    void reseed(double secondsSinceMidnight) override;
    float next() override;

private:
    std::mt19937 engine_{std::random_device{}()};
};

class DesktopLauncher : public Launcher {
public:
    bool openFile(const QString& path) override;
};

// Owns one of each and hands out the Platform view of them.
struct DesktopPlatform {
    QtMessageBoxes messages;
    QtFileDialog fileDialog;
    QtSoundPlayer sound;
    SystemClock clock;
    SystemRandom random;
    DesktopLauncher launcher;
    // The user's config folder, or nothing with --no-remember or ROSTREL_NO_REMEMBER=1.
    std::unique_ptr<SetupStore> setup;
    DesktopPlatform();
    Platform view() { return {&messages, &fileDialog, &sound, &clock, &random, &launcher, setup.get()}; }
};

// Finds a data file given by a relative path: the current directory first, then the data
// folder beside the program (../share/rostrel from bin/, wherever it is installed; a build
// folder links it to the source tree's share/). Returns "" when neither has it.
QString findDataFile(const QString& relativePath);

} // namespace rostrel
