// The main window after its first activation (number category, 1..48 in one group), driven
// with clicks and keys on its controls, with fake dialogs, sound, clock and a seeded random
// source.
#pragma once

#include "shell/FrmMd.h"
#include "support/Driver.h"
#include "support/Fakes.h"

#include <QListWidget>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>
#include <utility>

namespace rostrel::test {

inline QStringList itemTexts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

inline QStringList comboTexts(const QComboBox* combo) {
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out.append(combo->itemText(i));
    return out;
}

inline QStringList range(int from, int to) {
    QStringList out;
    for (int v = from; v <= to; ++v)
        out.append(QString::number(v));
    return out;
}

// The window showed exactly one message: this text, with the caption and icon of its kind.
inline void expectOnlyMessage(const std::vector<Message>& shown, const QString& caption, const QString& text,
                              MessageIcon icon) {
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, caption);
    EXPECT_EQ(shown[0].text, text);
    EXPECT_EQ(shown[0].icon, icon);
}

struct NumberWindow : ByName {
    FakePlatform fake;
    std::unique_ptr<FrmMd> window;

    NumberWindow() {
        window = std::make_unique<FrmMd>(fake.view());
        root = window.get();
        activate(*window);
    }

    FrmMd& w() { return *window; }
    Lesson& lesson() { return window->lesson(); }
    // The lesson's roll-book session, roster, group plan and pick pool, read only.
    const SessionState& session() const { return std::as_const(*window).lesson().session(); }
    std::vector<Message>& messages() { return fake.messages.shown; }
    QStringList& played() { return fake.sound.played; }

    // Types both range boxes and leaves the first, as the teacher does.
    void setRange(const QString& first, const QString& second) {
        focusIn(box("txtXh", 0));
        replaceText(box("txtXh", 0), first);
        replaceText(box("txtXh", 1), second);
        focusOut(box("txtXh", 0));
    }
    void setRange(int first, int second) { setRange(QString::number(first), QString::number(second)); }

    // Rule "规定组数" (index 0) or "每组人数" (index 1) with a value, then grouping.
    void group(int rule, const QString& value, bool atRandom = false) {
        check(button("OptFz", rule), true);
        replaceText(box("txtFz", rule), value);
        click(label("imgFz", atRandom ? 0 : 1));
    }
    void group(int rule, int value, bool atRandom = false) { group(rule, QString::number(value), atRandom); }

    // Member keys of group g as the plan holds them.
    QStringList members(int g) {
        QStringList out;
        const int n = static_cast<int>(cellNumber(session().GroupTable.at(g, 0, 0)));
        for (int j = 1; j <= n; ++j)
            out.append(defaultText(session().GroupTable.at(g, j, 0)));
        return out;
    }
    QStringList memberCounts() {
        QStringList out;
        for (int g = 1; g <= session().GroupCount; ++g)
            out.append(defaultText(session().GroupTable.at(g, 0, 0)));
        return out;
    }
    // Live keys of the pick pool.
    QStringList pool() {
        QStringList out;
        for (int i = 1; i <= session().PoolCount; ++i)
            out.append(defaultText(session().PickPool.at(i, 1)));
        return out;
    }
    // One direct pick (rolling display off) with the random number r.
    void pickWith(float r) {
        fake.random.scripted.push_back(r);
        check(button("chkGd"), false);
        click(label("lblXm"));
    }
};

} // namespace rostrel::test
