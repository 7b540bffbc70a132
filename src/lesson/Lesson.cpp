#include "lesson/Lesson.h"

#include "platform/Log.h"
#include "rollbook/SheetAccess.h"

namespace rostrel {

Lesson::Lesson(const Platform& platform, QObject* parent) : QObject(parent), platform_(platform) {
    for (int v = 1; v <= 48; ++v)
        numberList_.append(QString::number(v));
    rangeText_ = {QStringLiteral("1"), QStringLiteral("48")};
    rangeLabel_ = {QStringLiteral("最小值"), QStringLiteral("最大值")};
    customText_ = QStringLiteral("1,2,3,4,5,6");
    clockDisplay_ = QStringLiteral("00:00:00");
    entryText_ = {QStringLiteral("5"), QStringLiteral("5")};
    // Until the window is first activated.
    st_.FirstShow = 1;
}

Lesson::~Lesson() = default;

void Lesson::PlayWave(const QString& relativePath) {
    try {
        if (platform_.sound)
            platform_.sound->playWave(relativePath);
    } catch (...) {
        // Sound never reaches the user as a failure.
        logCaught("playing a sound");
    }
}

void Lesson::UseSpreadsheetEngine(std::unique_ptr<workbook::Application> engine) {
    EndSession();
    st_.ExcelApp = std::move(engine);
}

void Lesson::UseRollBookFile(const QString& path, const QString& name) {
    st_.RollBookPath = path;
    st_.RollBookName = name;
}

void Lesson::SetPickCategory(int category) {
    st_.PickCategory = static_cast<int16_t>(category);
    if (category == 0 && platform_.clock)
        st_.TodayLabel = platform_.clock->today().toString(QStringLiteral("MM月dd"));
}

void Lesson::EndSession() {
    st_.ExcelBook = nullptr;
    st_.ExcelSheet = {};
    if (!st_.ExcelApp)
        return;
    try {
        st_.ExcelApp->quit();
    } catch (...) {
        logCaught("closing the roll books");
    }
    st_.ExcelApp.reset();
}

bool Lesson::TakeFirstShow() {
    if (st_.FirstShow != 1)
        return false;
    st_.FirstShow = 0;
    return true;
}

void Lesson::SetEntries(const QStringList& entries) {
    entries_ = entries;
    notify(EntriesPart);
}

} // namespace rostrel
