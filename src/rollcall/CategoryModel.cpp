// The lesson's roll-call categories and the draw rule's caption.
#include "lesson/Lesson.h"
#include "platform/Log.h"
#include "platform/Values.h"

namespace rostrel {

namespace {

const QString kBreak = QStringLiteral("\r\n");

// The mode word and the presentation forms of each category.
struct Category {
    QString word;
    QStringList forms;
};

const Category kCategories[] = {
    {QStringLiteral("名单"),
     {QStringLiteral("姓名"), QStringLiteral("学号姓名"), QStringLiteral("组号姓名"), QStringLiteral("组号组员号姓名"),
      QStringLiteral("组号学号姓名"), QStringLiteral("组号组员号学号姓名")}},
    {QStringLiteral("号码"), {QStringLiteral("号码"), QStringLiteral("组号号码"), QStringLiteral("组号组员号号码")}},
    {QStringLiteral("行列"), {QStringLiteral("座号"), QStringLiteral("组号座号"), QStringLiteral("组号组员号座号")}},
};

} // namespace

void Lesson::SwitchCategory(int category) {
    if (category < 0 || category > 2)
        return;
    SetPickCategory(category);
    const Category& c = kCategories[category];
    SetPresentationForms(c.forms, 0);
    caption_ = c.word + kBreak + QStringLiteral("点名");
    notify(SelectionPart);
    if (category == 0) {
        st_.FirstShow = 0;
        return;
    }
    PrepareNumberList(category);
}

void Lesson::ChooseCategory(int category) {
    if (category < 0 || category > 2)
        return;
    Q_EMIT categoryChosen(category);
    SwitchCategory(category);
    if (category == 0) {
        try {
            UseDefaultRollBook();
        } catch (const std::exception&) {
            logCaught("opening the default roll book");
        }
    } else {
        ConfirmRange(0);
        // The list grouped in order, as one group of all its entries.
        SetGroupRuleText(0, QStringLiteral("1"));
        SetGroupRuleText(1, plainText(st_.RosterCount));
        FormGroups(1);
    }
    SetPresentationForm(1);
}

void Lesson::ChooseDrawRule(bool atRandom) {
    SetDrawRule(atRandom);
    caption_ = (atRandom ? QStringLiteral("随机") : QStringLiteral("顺序")) + kBreak + QStringLiteral("点名");
    notify(SelectionPart);
}

} // namespace rostrel
