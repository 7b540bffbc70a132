// Roll-book file, class selection and roster loading.
#include "platform/Log.h"
#include "platform/SetupStore.h"
#include "rollbook/ClassSheet.h"
#include "rollbook/RollBookFile.h"
#include "rollbook/SheetAccess.h"
#include "rollcall/PickEngine.h"
#include "shell/FrmMd.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>

namespace rostrel {

using namespace rollbook;

namespace {

const QString kChooseFileText = QStringLiteral("请选择文件名");
const QString kNoSheetText = QStringLiteral("找不到工作表，请检查");
const QString kDamagedText = QStringLiteral("请打开并检查Excel文档是否损坏。");
const QString kEmptyClassText = QStringLiteral("检测到名单表格为空，请检查");
const QString kLoadFailedText = QStringLiteral("读取班级名单失败，请检查Excel名单及其分组。");
const QString kNoViewerText = QStringLiteral("找不到可以打开Excel名单的程序，请安装电子表格软件后再试。");
const QString kNotShownText = QStringLiteral("无法打开Excel名单，请检查名单文件是否存在。");

QString menuText(const QString& name) {
    QString t = name;
    return t.replace(u'&', QStringLiteral("&&"));
}

} // namespace

// The open dialog: a file, or nothing when the teacher cancelled twice in a row (the first
// cancel is answered with "请选择文件名" and the dialog again).
bool FrmMd::chooseRollBook() {
    const QString filter = rollbook::rollBookFilter();
    for (int attempt = 0; attempt < 2; ++attempt) {
        FileChoice choice;
        try {
            if (platform.fileDialog)
                choice = platform.fileDialog->getOpenFileName(filter);
        } catch (...) {
            logCaught("open-file dialog");
            choice = {};
        }
        if (!choice.path.isEmpty()) {
            st.RollBookPath = choice.path;
            ui.txtFn->setText(choice.path);
            st.RollBookName = choice.title.isEmpty() ? QFileInfo(choice.path).fileName() : choice.title;
            return true;
        }
        if (attempt == 0) {
            try {
                platform.messages->inform(kChooseFileText);
            } catch (...) {
                logCaught("message box");
            }
        }
    }
    return false;
}

// After a load that did not finish: nothing of the previous class stays usable under the
// new class's name (no roster to write scores or a grouping for, no pool to draw from).
void FrmMd::forgetClassRoster() {
    st.RosterTable.clear();
    st.PickPool.clear();
    st.PoolCount = 0;
    st.PickIndex = 0;
    st.GroupTable.clear();
    st.GroupCount = 0;
    st.GroupSize = 0;
    st.CurrentGroup = 0;
    st.CurrentMember = 0;
    st.PickKey.clear();
    st.PickText.clear();
    lesson_.SetEntries({});
    lesson_.PlanChanged();
    {
        const QSignalBlocker b2(ui.List1);
        const QSignalBlocker b3(ui.List2);
        ui.List1->clear();
        ui.List2->clear();
    }
    ui.imgXie[0]->hide();
    ui.imgXie[1]->hide();
    ui.lblXm->setEnabled(false);
}

void FrmMd::wireRollBook() {
    connect(ui.Image1, &ClickLabel::clicked, this, [this] { Image1_Click(); });
    connect(ui.Image2, &ClickLabel::clicked, this, [this] { Image2_Click(); });
    connect(ui.cmbXls, &QComboBox::currentIndexChanged, this, [this](int) { cmbXls_Click(); });
    connect(ui.CmbXm, &QComboBox::activated, this, [this](int position) { CmbXm_Click(position); });
    connect(ui.MnSz[0], &QAction::triggered, this, [this] { Image1_Click(); });
    connect(ui.MnSz[2], &QAction::triggered, this, [this] { cmdNext_Click(0); });
    connect(ui.MnSz[3], &QAction::triggered, this, [this] { cmdNext_Click(1); });
    for (int i = 0; i < ui.MnBj.size(); ++i)
        connect(ui.MnBj[i], &QAction::triggered, this, [this, i] { MnBj_Click(i); });
}

void FrmMd::UseDefaultRollBook() {
    // The remembered roll book while it exists, else the default one in the current folder,
    // the documents folder or the program's folder; none: the teacher chooses one.
    std::optional<QString> remembered;
    if (platform.setup)
        remembered = platform.setup->load().rollBook;
    st.RollBookPath = startRollBook(remembered, kDefaultRollBookNames, rollBookFolders());
    if (st.RollBookPath.isEmpty())
        st.RollBookPath = QDir(QCoreApplication::applicationDirPath()).filePath(kDefaultRollBookName);
    st.RollBookName = QFileInfo(st.RollBookPath).fileName();
    if (!QFileInfo::exists(st.RollBookPath)) {
        // The teacher gave up choosing: nothing to list.
        if (!chooseRollBook())
            return;
        ListClasses();
    }
    ListClasses();
}

void FrmMd::Image1_Click() {
    if (chooseRollBook())
        ListClasses();
}

void FrmMd::ListClasses() {
    try {
        int16_t index = static_cast<int16_t>(ui.cmbXls->currentIndex() + 1);
        lesson_.OpenClassSheet(index);
        if (!st.ExcelBook)
            throw std::runtime_error("no roll book is open");
        const int n = st.ExcelBook->sheetCount();
        if (n < 1) {
            platform.messages->warn(kNoSheetText);
            return;
        }
        {
            const QSignalBlocker block(ui.cmbXls);
            ui.cmbXls->clear();
            for (int i = 1; i <= n; ++i) {
                if (ui.MnBj.size() < i) {
                    QAction* item = ui.MnBjMenu->addAction(QString());
                    item->setObjectName(arrayName("MnBj", i - 1));
                    const int menuIndex = i - 1;
                    connect(item, &QAction::triggered, this, [this, menuIndex] { MnBj_Click(menuIndex); });
                    ui.MnBj.append(item);
                }
                const QString name = QString::fromStdString(st.ExcelBook->sheetName(i));
                ui.MnBj[i - 1]->setText(menuText(name));
                ui.cmbXls->addItem(name);
            }
            while (ui.MnBj.size() > n) {
                QAction* item = ui.MnBj.takeLast();
                ui.MnBjMenu->removeAction(item);
                delete item;
            }
            ui.cmbXls->setCurrentIndex(-1);
        }
        ui.cmbXls->setCurrentIndex(0); // loads the first class
        ui.Image2->show();
    } catch (...) {
        logCaught("listing the classes of the roll book");
        platform.messages->warn(kDamagedText);
    }
}

void FrmMd::cmbXls_Click() {
    LoadClassRoster();
}

void FrmMd::MnBj_Click(int index) {
    if (index < 0 || index >= ui.cmbXls->count())
        return;
    if (ui.cmbXls->currentIndex() == index)
        cmbXls_Click(); // choosing the class shown reloads it
    else
        ui.cmbXls->setCurrentIndex(index);
}

void FrmMd::Image2_Click() {
    try {
        int16_t index = static_cast<int16_t>(ui.cmbXls->currentIndex() + 1);
        lesson_.OpenClassSheet(index);
        if (!st.ExcelApp)
            throw std::runtime_error("no roll book is open");
        st.ExcelApp->setVisible(true);
    } catch (const workbook::WorkbookError& e) {
        logCaught("showing the roll book");
        platform.messages->warn(e.code() == workbook::WorkbookError::Code::NotShown ? kNoViewerText : kNotShownText);
    } catch (...) {
        logCaught("showing the roll book");
        platform.messages->warn(kNotShownText);
    }
}

void FrmMd::CmbXm_Click(int position) {
    try {
        const QString s = trimSpaces(lesson_.entries().value(position));
        if (s.isEmpty())
            return;
        if (st.PickCategory == 0) {
            const QStringList pieces = s.split(u'_');
            st.PickKey = pieces.value(0);
            st.PickText = pieces.value(1);
        } else {
            st.PickKey = s;
        }
        // The pool row of the chosen entry itself: the list position is a roster position,
        // which after removals (or a pool of the unscored only) is another pool row.
        st.PickIndex = rollcall::pickedPoolRow(st.PickPool, st.PoolCount, add16(position, 1), st.PickKey);

        ShowMember(st.PickKey);
        if (lesson_.removesPicked())
            RemovePicked();
        ui.imgXie[1]->show();
    } catch (...) {
        // A name that is in no group stays chosen; nothing else changes.
        logCaught("choosing a student by name");
    }
}

void FrmMd::LoadClassRoster() {
    st.ClassIndex = static_cast<int16_t>(ui.cmbXls->currentIndex() + 1);
    if (ui.cmbXls->count() == 0)
        return;
    try {
        if (st.ClassIndex == 0)
            st.ClassIndex = 1;
        lesson_.OpenClassSheet(st.ClassIndex);

        st.RowScan = 1;
        while (!blankAfterTrim(readCell(st.ExcelSheet, add16(st.RowScan, 2), kNumberColumn)))
            st.RowScan = add16(st.RowScan, 1);
        st.RosterCount = sub16(st.RowScan, 1);
        ui.FrZr->setTitle(plainText(st.RosterCount) + QStringLiteral("人分组规则"));

        if (st.RosterCount < 2) {
            platform.messages->warn(kEmptyClassText);
            closeRollBook(st);
            forgetClassRoster();
            return;
        }

        const int16_t n = st.RosterCount;
        st.RosterTable.allocate(n, 3);
        st.PickPool.allocate(n, 2);
        st.PoolCount = 0;
        st.GroupCount = 0;
        st.CurrentMember = 0;
        st.GroupSize = 0;
        st.GroupTable.clear();
        lesson_.SetEntries({});
        lesson_.PlanChanged();
        {
            const QSignalBlocker b2(ui.List1);
            const QSignalBlocker b3(ui.List2);
            ui.List1->clear();
            ui.List2->clear();
        }

        QStringList names;
        names.reserve(n);
        for (int i = 1; i <= n; ++i) {
            const int row = add16(i, 2);
            st.RosterTable.at(i, 0) = readCell(st.ExcelSheet, row, kNumberColumn);
            st.RosterTable.at(i, 1) = readCell(st.ExcelSheet, row, kNameColumn);
            names.append(defaultText(st.RosterTable.at(i, 0)) + u'_' + defaultText(st.RosterTable.at(i, 1)));
            st.RosterTable.at(i, 2) = readCell(st.ExcelSheet, row, kGroupColumn);
            st.RosterTable.at(i, 3) = readCell(st.ExcelSheet, row, kMemberColumn);
            const double group = leadingNumber(defaultText(st.RosterTable.at(i, 2)));
            if (group > st.GroupCount)
                st.GroupCount = toInt16(group);
            const double member = leadingNumber(defaultText(st.RosterTable.at(i, 3)));
            if (member > st.GroupSize)
                st.GroupSize = toInt16(member);
        }
        lesson_.SetEntries(names);

        BuildPickPool();

        ui.OptFz[0]->setChecked(true);

        if (st.GroupCount == 0) {
            st.GroupCount = 1;
            st.GroupSize = st.RosterCount;
            imgFz_Click(1);
        } else {
            st.GroupTable = storedGroupTable(st.RosterTable, n, st.GroupCount, st.GroupSize);
            ListGroups(st.GroupCount);
        }

        ui.txtFz[0]->setText(plainText(st.GroupCount));
        ui.txtFz[1]->setText(plainText(st.GroupSize));

        ui.lblXm->setEnabled(true);
        ui.imgFz[0]->setEnabled(false);
        ui.imgFz[1]->setEnabled(false);
        ui.imgXie[0]->hide();
        ui.imgXie[1]->hide();
    } catch (...) {
        logCaught("loading the class");
        closeRollBook(st);
        st.RosterCount = 0;
        forgetClassRoster();
        platform.messages->warn(kLoadFailedText);
    }
}

void FrmMd::BuildPickPool() {
    int16_t index = static_cast<int16_t>(ui.cmbXls->currentIndex() + 1);
    lesson_.OpenClassSheet(index);
    const CellReader read = sheetReader(st.ExcelSheet);
    st.ScoreColumn = chooseScoreColumn(read, lesson_.newColumnPerDay(), st.TodayLabel);
    st.PoolCount = 0;
    st.PoolCount = fillPickPool(st.PickPool, st.RosterTable, st.RosterCount, st.ScoreColumn, read);
}

} // namespace rostrel
