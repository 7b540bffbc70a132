// The main window in the name-list category, for the roll-book and scoring tests: on the
// in-memory spreadsheet engine here, on the real one in RealRollBook.h.
#pragma once

#include "shell/FrmMd.h"
#include "support/Driver.h"
#include "support/FakeWorkbook.h"
#include "support/Fakes.h"

#include <QFileInfo>
#include <memory>
#include <utility>

namespace rostrel::test {

inline const QString kToday = QStringLiteral("03月16");

// The main window in the name-list category (today is kToday), on whichever engine it has,
// and what the teacher does with the roll book in it.
struct RollBookWindowBase : ByName {
    FakePlatform fake;
    std::unique_ptr<FrmMd> window;

    RollBookWindowBase() {
        window = std::make_unique<FrmMd>(fake.view());
        lesson().SetPickCategory(0);
        root = window.get();
    }

    FrmMd& w() { return *window; }
    Lesson& lesson() { return window->lesson(); }
    // The lesson's roll-book session, roster, group plan and pick pool, read only.
    const SessionState& session() const { return std::as_const(*window).lesson().session(); }
    // The roll book in use from now on.
    void use(const QString& file) { lesson().UseRollBookFile(file, QFileInfo(file).fileName()); }
    // The teacher chooses the roll book in use in the open dialog: its classes are listed
    // and the first one loaded.
    void listClasses() {
        fake.fileDialog.answers.push_back({session().RollBookPath, session().RollBookName});
        click(label("Image1"));
    }
    // The class shown is chosen again from the class menu: it is loaded again.
    void reloadClass() { chooseFromMenu(&w(), classItems().at(combo("cmbXls")->currentIndex())); }
    // The teacher chooses the entry with this key in the name box.
    void choose(const QString& key) {
        const QStringList entries = lesson().entries();
        for (int i = 0; i < entries.size(); ++i) {
            if (entries[i] == key || entries[i].startsWith(key + u'_')) {
                chooseItem(combo("CmbXm"), i);
                return;
            }
        }
        ADD_FAILURE() << "no entry " << key.toStdString();
    }
    std::vector<Message>& messages() { return fake.messages.shown; }
    int messagesWith(const QString& text) const {
        int n = 0;
        for (const auto& m : fake.messages.shown)
            n += m.text == text ? 1 : 0;
        return n;
    }
};

// The disk comes first so that it outlives the window and the engine on it.
struct FakeDiskHolder {
    FakeDisk disk;
};

// The window on the in-memory engine.
struct RollBookWindow : FakeDiskHolder, RollBookWindowBase {
    FakeApplication* app = nullptr;

    RollBookWindow() {
        auto a = std::make_unique<FakeApplication>(disk);
        app = a.get();
        lesson().UseSpreadsheetEngine(std::move(a));
    }

    // Puts a roll book on the fake disk and makes it the one the window uses.
    FakeFile& addRollBook(const std::string& path, std::vector<FakeSheet> sheets) {
        FakeFile& f = disk.files[path];
        f.sheets = std::move(sheets);
        return f;
    }
    void useRollBook(const std::string& path) { use(QString::fromStdString(path)); }
    FakeSheet& saved(const std::string& path, int sheet) {
        return disk.files.at(path).sheets.at(static_cast<size_t>(sheet - 1));
    }
};

} // namespace rostrel::test
