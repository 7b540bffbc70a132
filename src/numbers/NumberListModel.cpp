// The lesson's number list (number and row-column categories): its range, custom values,
// removal and clearing, and the roster and pool built from it.
#include "lesson/Lesson.h"
#include "numbers/NumberList.h"

namespace rostrel {

namespace {

const QString kCheckData = QStringLiteral("请检查数据的合理性");

bool isNumberList(int category) {
    return category == numbers::kNumberCategory || category == numbers::kSeatCategory;
}

// The range boxes' labels and defaults and the custom-value example of each list category.
struct RangeDefaults {
    QString firstLabel;
    QString secondLabel;
    int16_t first;
    int16_t second;
    QString customExample;
};

const RangeDefaults kRangeDefaults[] = {
    {QStringLiteral("最小值"), QStringLiteral("最大值"), 1, 48, QStringLiteral("1,2,3,4")},
    {QStringLiteral("行数"), QStringLiteral("列数"), 6, 8, QStringLiteral("1-1,1-2")},
};

} // namespace

void Lesson::setNumberList(QStringList list) {
    numberList_ = std::move(list);
    ++numberRevision_;
}

void Lesson::PrepareNumberList(int category) {
    const RangeDefaults& d = kRangeDefaults[category == numbers::kSeatCategory ? 1 : 0];
    rangeLabel_ = {d.firstLabel, d.secondLabel};
    st_.RangeVal1 = d.first;
    st_.RangeVal2 = d.second;
    rangeText_ = {plainText(d.first), plainText(d.second)};
    customText_ = d.customExample;
    st_.FirstShow = 1; // the range step rebuilds the list although the values are the defaults
    notify(NumbersPart);
}

void Lesson::SetRangeText(int box, const QString& text) {
    rangeText_.at(box) = text;
}

void Lesson::BeginRangeEdit() {
    try {
        const int16_t a = readInt16(rangeText_[0]);
        const int16_t b = readInt16(rangeText_[1]);
        st_.RangeVal1 = a;
        st_.RangeVal2 = b;
    } catch (const OverflowError&) {
        // A value beyond 16 bits is refused when the box is left.
    }
}

bool Lesson::ConfirmRange(int box) {
    if (!confirmRange(box))
        return false;
    Q_EMIT rangeAccepted(box);
    return true;
}

bool Lesson::confirmRange(int box) {
    const auto range = numbers::readRange(st_.PickCategory, rangeText_[0], rangeText_[1], box);
    if (!range) {
        platform_.messages->warn(kCheckData);
        return false;
    }
    if (range->first == st_.RangeVal1 && range->second == st_.RangeVal2 && st_.FirstShow == 0)
        return true;
    if (!isNumberList(st_.PickCategory))
        return true; // the boxes belong to the number and row-column categories only
    st_.RangeVal1 = range->first;
    st_.RangeVal2 = range->second;
    if (st_.FirstShow == 1)
        st_.FirstShow = 0;
    setNumberList(numbers::rangeEntries(st_.PickCategory, *range));
    selectedNumber_ = -1;
    notify(NumbersPart);
    LoadNumberList();
    return true;
}

void Lesson::SetCustomText(const QString& text) {
    customText_ = text;
}

void Lesson::BeginCustomEdit() {
    addShown_ = true;
    notify(NumbersPart);
}

bool Lesson::AddCustomValues() {
    const auto added = numbers::customAdditions(st_.PickCategory, numberList_, customText_);
    if (!added) {
        platform_.messages->warn(kCheckData);
        return false;
    }
    if (!added->isEmpty())
        setNumberList(numberList_ + *added);
    addShown_ = false;
    notify(NumbersPart);
    LoadNumberList();
    return true;
}

void Lesson::SelectNumber(int row) {
    selectedNumber_ = row >= 0 && row < numberList_.size() ? row : -1;
    removeShown_ = selectedNumber_ >= 0;
    notify(NumbersPart);
}

void Lesson::RemoveSelectedNumber() {
    if (selectedNumber_ >= 0) {
        QStringList list = numberList_;
        list.removeAt(selectedNumber_);
        setNumberList(std::move(list));
        // Nothing is selected after a removal, so a second click removes nothing.
        selectedNumber_ = -1;
    }
    removeShown_ = false;
    notify(NumbersPart);
    LoadNumberList();
}

void Lesson::ClearNumberList() {
    setNumberList({});
    selectedNumber_ = -1;
    notify(NumbersPart);
    LoadNumberList();
}

void Lesson::UseNumberList(const QStringList& list) {
    setNumberList(list);
    selectedNumber_ = -1;
    notify(NumbersPart);
    LoadNumberList();
}

void Lesson::LoadNumberList() {
    numbers::loadNumberTables(st_, numberList_);
    // The name box lists the values; filling it is no choice of the teacher's.
    SetEntries(numberList_);
}

} // namespace rostrel
