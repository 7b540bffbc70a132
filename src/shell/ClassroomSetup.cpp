// The setup remembered between runs: restored after the window's first activation, saved
// when it closes.
#include "platform/Log.h"
#include "platform/SetupStore.h"
#include "rollbook/SheetAccess.h"
#include "shell/Classroom.h"
#include "shell/FrmMd.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QRadioButton>

namespace rostrel {

namespace {

template <typename T = QWidget> T* named(const QObject& root, const QString& name) {
    return root.findChild<T*>(name);
}
template <typename T = QWidget> T* named(const QObject& root, const char* name, int index) {
    return root.findChild<T*>(arrayName(name, index));
}

// The class loaded, by its sheet's name; empty when no class is loaded.
QString className(const SessionState& st) {
    if (!rollbook::classRosterLoaded(st) || st.ClassIndex < 1)
        return {};
    const workbook::Workbook* book = st.ExcelBook ? st.ExcelBook : st.ExcelSheet.book;
    try {
        if (book && !book->isClosed() && st.ClassIndex <= book->sheetCount())
            return QString::fromStdString(book->sheetName(st.ClassIndex));
    } catch (...) {
        logCaught("reading the class name");
    }
    return {};
}

} // namespace

void Classroom::restoreSetup() {
    SetupStore* store = w_.lesson().platform().setup;
    if (!store)
        return;
    const RememberedSetup s = store->load();
    auto check = [this](const char* name, std::optional<bool> on) {
        if (auto* box = named<QCheckBox>(w_, QString::fromLatin1(name)); box && on)
            box->setChecked(*on);
    };
    if (s.drawRule && (*s.drawRule == 0) != w_.lesson().drawsAtRandom())
        if (auto* rule = named<QRadioButton>(w_, "OptDmFs", *s.drawRule))
            rule->click();
    check("chkGd", s.rolling);
    check("chkCf", s.repeat);
    check("chkRq", s.newColumn);
    if (s.clockAmount)
        w_.lesson().SetEntryText(1, *s.clockAmount);
    if (s.clockUnit)
        w_.lesson().SetClockUnit(*s.clockUnit);
    if (s.clockMode)
        w_.lesson().SetClockMode(*s.clockMode);
    if (s.category && *s.category != w_.lesson().session().PickCategory)
        if (auto* category = named<QRadioButton>(w_, "OptFl", *s.category))
            category->click();
    if (s.className && w_.lesson().session().PickCategory == 0)
        if (auto* classes = named<QComboBox>(w_, QStringLiteral("cmbXls"))) {
            const int i = classes->findText(*s.className);
            if (i >= 0 && i + 1 != w_.lesson().session().ClassIndex)
                classes->setCurrentIndex(i);
        }
    if (s.presentation && *s.presentation < w_.lesson().presentationForms().size())
        w_.lesson().SetPresentationForm(*s.presentation);
    focusNameLabel();
}

void Classroom::saveSetup() {
    SetupStore* store = w_.lesson().platform().setup;
    if (!store || !restored_)
        return;
    const Lesson& lesson = w_.lesson();
    const SessionState& st = lesson.session();
    // What this lesson did not touch (the class while on numbers, the splash choice) stays.
    RememberedSetup s = store->load();
    s.category = st.PickCategory;
    // The roll book also when the lesson ended on numbers or seats: it was chosen all the same.
    if (!st.RollBookPath.isEmpty() && QFileInfo(st.RollBookPath).isFile()) {
        s.rollBook = QFileInfo(st.RollBookPath).absoluteFilePath();
        if (const QString name = className(st); !name.isEmpty())
            s.className = name;
    }
    s.drawRule = lesson.drawsAtRandom() ? 0 : 1;
    s.rolling = lesson.rolling();
    s.repeat = lesson.removesPicked();
    s.newColumn = lesson.newColumnPerDay();
    if (lesson.presentationForm() >= 0)
        s.presentation = lesson.presentationForm();
    s.clockAmount = lesson.entryText(1);
    s.clockUnit = lesson.clockUnit();
    s.clockMode = lesson.clockMode();
    const QSize size = presenting_ || w_.isFullScreen() || w_.isMaximized() ? w_.normalGeometry().size() : w_.size();
    if (size.isValid() && !size.isEmpty())
        s.windowSize = size;
    store->save(s);
}

} // namespace rostrel
