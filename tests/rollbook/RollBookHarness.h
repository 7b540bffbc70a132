// The main window on the in-memory spreadsheet engine, in the name-list category, for the
// roll-book and scoring tests.
#pragma once

#include "shell/FrmMd.h"
#include "support/FakeWorkbook.h"
#include "support/Fakes.h"

#include <QFileInfo>
#include <memory>

namespace rostrel::test {

inline const QString kToday = QStringLiteral("03月16");

struct RollBookWindow {
    FakeDisk disk;
    FakePlatform fake;
    FakeApplication* app = nullptr;
    std::unique_ptr<FrmMd> window;

    RollBookWindow() {
        window = std::make_unique<FrmMd>(fake.view());
        auto a = std::make_unique<FakeApplication>(disk);
        app = a.get();
        window->st.ExcelApp = std::move(a);
        window->st.PickCategory = 0;
        window->st.TodayLabel = kToday;
    }

    FrmMd& w() { return *window; }
    SessionState& st() { return window->st; }
    Controls& ui() { return window->ui; }

    // Puts a roll book on the fake disk and makes it the one the window uses.
    FakeFile& addRollBook(const std::string& path, std::vector<FakeSheet> sheets) {
        FakeFile& f = disk.files[path];
        f.sheets = std::move(sheets);
        return f;
    }
    void useRollBook(const std::string& path) {
        st().RollBookPath = QString::fromStdString(path);
        st().RollBookName = QFileInfo(st().RollBookPath).fileName();
    }
    FakeSheet& saved(const std::string& path, int sheet) {
        return disk.files.at(path).sheets.at(static_cast<size_t>(sheet - 1));
    }
    std::vector<Message>& messages() { return fake.messages.shown; }
    int messagesWith(const QString& text) {
        int n = 0;
        for (const auto& m : messages())
            n += m.text == text ? 1 : 0;
        return n;
    }
};

} // namespace rostrel::test
