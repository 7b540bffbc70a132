// The roll book's controls: the file, the class list and its menu, forwarded to the lesson
// and redrawn from it; the name box's choice.
#include "rollcall/ControlHelpers.h"
#include "shell/FrmMd.h"

#include <QFileInfo>
#include <QSignalBlocker>

namespace rostrel {

namespace {

QString menuText(const QString& name) {
    QString t = name;
    return t.replace(u'&', QStringLiteral("&&"));
}

} // namespace

void FrmMd::wireRollBook() {
    Lesson* l = &lesson_;
    connect(l, &Lesson::changed, this, [this](unsigned parts) { guarded([&] { showRoster(parts); }); });
    connect(ui.Image1, &ClickLabel::clicked, l, &Lesson::ChooseRollBook);
    connect(ui.Image2, &ClickLabel::clicked, l, &Lesson::ShowRollBook);
    connect(ui.cmbXls, &QComboBox::currentIndexChanged, l, &Lesson::ChooseClass);
    connect(ui.CmbXm, &QComboBox::activated, l, &Lesson::ChooseEntry);
    connect(ui.MnSz[0], &QAction::triggered, l, &Lesson::ChooseRollBook);
    connect(ui.MnSz[2], &QAction::triggered, this, [this] { cmdNext_Click(0); });
    connect(ui.MnSz[3], &QAction::triggered, this, [this] { cmdNext_Click(1); });
    for (int i = 0; i < ui.MnBj.size(); ++i)
        connect(ui.MnBj[i], &QAction::triggered, l, [l, i] { l->ChooseClass(i); });
}

void FrmMd::showRoster(unsigned parts) {
    if (parts & Lesson::ClassListPart)
        showClassList();
    if (parts & Lesson::GroupRulePart)
        showGroupRule();
    if (parts & Lesson::PickReadyPart) {
        ui.lblXm->setEnabled(lesson_.pickReady());
        ui.imgXie[0]->setVisible(lesson_.groupingWritable());
    }
    if (parts & Lesson::ClassLoadPart)
        ui.imgXie[1]->hide();
    if (parts & Lesson::GroupInfoPart)
        showGroupInformation();
}

void FrmMd::showClassList() {
    // The path chosen in the open dialog, else the name of the roll book in use (the default
    // one may be an .xlsx or .ods, the remembered one any file).
    QString book = lesson_.chosenRollBook();
    if (book.isEmpty() && !lesson_.rollBookPath().isEmpty())
        book = QFileInfo(lesson_.rollBookPath()).fileName();
    if (!book.isEmpty() && ui.txtFn->text() != book)
        ui.txtFn->setText(book);
    const QStringList& names = lesson_.classNames();
    {
        const QSignalBlocker block(ui.cmbXls);
        QStringList shown;
        for (int i = 0; i < ui.cmbXls->count(); ++i)
            shown.append(ui.cmbXls->itemText(i));
        if (shown != names) {
            ui.cmbXls->clear();
            ui.cmbXls->addItems(names);
        }
        ui.cmbXls->setCurrentIndex(lesson_.currentClass());
    }
    // The menu keeps its design item until there are classes: one item per class then.
    const int n = static_cast<int>(names.size());
    if (n > 0) {
        for (int i = ui.MnBj.size(); i < n; ++i) {
            QAction* item = ui.MnBjMenu->addAction(QString());
            item->setObjectName(arrayName("MnBj", i));
            Lesson* l = &lesson_;
            connect(item, &QAction::triggered, l, [l, i] { l->ChooseClass(i); });
            ui.MnBj.append(item);
        }
        while (ui.MnBj.size() > n) {
            QAction* item = ui.MnBj.takeLast();
            ui.MnBjMenu->removeAction(item);
            delete item;
        }
        for (int i = 0; i < n; ++i)
            ui.MnBj[i]->setText(menuText(names[i]));
    }
    ui.Image2->setVisible(lesson_.classesListed());
}

} // namespace rostrel
