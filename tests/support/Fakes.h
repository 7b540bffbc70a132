// Fakes of the platform seams: they record what the program asked for and answer as told.
#pragma once

#include "platform/Platform.h"

#include <QStringList>
#include <deque>
#include <random>
#include <vector>

namespace rostrel::test {

struct Message {
    QString caption;
    QString text;
    MessageIcon icon;
};

class FakeMessageBoxes : public MessageBoxes {
public:
    void show(const QString& caption, const QString& text, MessageIcon icon) override {
        shown.push_back({caption, text, icon});
    }
    std::vector<Message> shown;
};

class FakeFileDialog : public FileDialog {
public:
    // Answers in order; when none are left it answers "cancelled" (empty path).
    FileChoice getOpenFileName(const QString& filter) override {
        filters.append(filter);
        if (answers.empty())
            return {};
        FileChoice c = answers.front();
        answers.pop_front();
        return c;
    }
    std::deque<FileChoice> answers;
    QStringList filters; // one entry per time the dialog was shown
};

class FakeSound : public SoundPlayer {
public:
    void playWave(const QString& relativePath) override { played.append(relativePath); }
    QStringList played;
};

class FakeClock : public Clock {
public:
    QDateTime now() const override { return current; }
    void advanceSeconds(int s) { current = current.addSecs(s); }
    void advanceMs(int ms) { current = current.addMSecs(ms); }
    QDateTime current{QDate(2026, 3, 16), QTime(10, 0, 0)};
};

// A seeded source; reseeding from the time of day is recorded but does not change the
// sequence, so a test run is repeatable.
class SeededRandom : public Random {
public:
    explicit SeededRandom(uint32_t seed = 12345) : engine_(seed) {}
    void reseed(double seconds) override { reseeds.push_back(seconds); }
    float next() override {
        if (!scripted.empty()) {
            float v = scripted.front();
            scripted.pop_front();
            return v;
        }
        return static_cast<float>(engine_() >> 8) / 16777216.0f;
    }
    std::deque<float> scripted; // values to return first
    std::vector<double> reseeds;

private:
    std::mt19937 engine_;
};

class FakeLauncher : public Launcher {
public:
    bool openFile(const QString& path) override {
        opened.append(path);
        return answer;
    }
    QStringList opened;
    bool answer = true;
};

// One of each, for a window under test.
struct FakePlatform {
    FakeMessageBoxes messages;
    FakeFileDialog fileDialog;
    FakeSound sound;
    FakeClock clock;
    SeededRandom random;
    FakeLauncher launcher;
    Platform view() { return {&messages, &fileDialog, &sound, &clock, &random, &launcher}; }
};

} // namespace rostrel::test
