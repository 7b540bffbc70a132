// The main window on the in-memory spreadsheet engine, in the name-list category, for the
// roll-book and scoring tests.
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

struct RollBookWindow : ByName {
    FakeDisk disk;
    FakePlatform fake;
    FakeApplication* app = nullptr;
    std::unique_ptr<FrmMd> window;

    RollBookWindow() {
        window = std::make_unique<FrmMd>(fake.view());
        auto a = std::make_unique<FakeApplication>(disk);
        app = a.get();
        lesson().UseSpreadsheetEngine(std::move(a));
        lesson().SetPickCategory(0); // today is kToday
        root = window.get();
    }

    FrmMd& w() { return *window; }
    Lesson& lesson() { return window->lesson(); }
    // The lesson's roll-book session, roster, group plan and pick pool, read only.
    const SessionState& session() const { return std::as_const(*window).lesson().session(); }
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

    // Puts a roll book on the fake disk and makes it the one the window uses.
    FakeFile& addRollBook(const std::string& path, std::vector<FakeSheet> sheets) {
        FakeFile& f = disk.files[path];
        f.sheets = std::move(sheets);
        return f;
    }
    void useRollBook(const std::string& path) {
        const QString file = QString::fromStdString(path);
        lesson().UseRollBookFile(file, QFileInfo(file).fileName());
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
