// The teacher's setup kept between runs (last roll book and class, draw rules, presentation,
// clock, window size, the splash), and where the roll book is looked for when none is
// remembered. The store is a seam: the desktop keeps it in the user's config folder, tests
// and a shared classroom computer (--no-remember, ROSTREL_NO_REMEMBER=1) keep nothing.
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

namespace rostrel {

// Every field is optional: what was never saved (or reads back as nonsense) stays unset and
// the program's start value applies.
struct RememberedSetup {
    std::optional<QString> rollBook;    // full path
    std::optional<QString> className;   // sheet name
    std::optional<int> category;        // 0 name list, 1 numbers, 2 seats
    std::optional<int> drawRule;        // 0 random, 1 in order
    std::optional<bool> rolling;        // "滚动"
    std::optional<bool> repeat;         // "重复"
    std::optional<bool> newColumn;      // "Excel新列写入"
    std::optional<int> presentation;    // entry of the presentation list
    std::optional<QString> clockAmount; // the amount box's text
    std::optional<int> clockUnit;       // 0 秒, 1 分, 2 时
    std::optional<int> clockMode;       // 0 正计时, 1 倒计时
    std::optional<QSize> windowSize;
    std::optional<bool> skipSplash;

    friend bool operator==(const RememberedSetup&, const RememberedSetup&) = default;
};

class SetupStore {
public:
    virtual ~SetupStore() = default;
    virtual RememberedSetup load() const = 0;
    // Keeps the fields that are set; the others keep what was stored before.
    virtual void save(const RememberedSetup& setup) = 0;
};

// Remembers nothing.
class NoSetupStore : public SetupStore {
public:
    RememberedSetup load() const override { return {}; }
    void save(const RememberedSetup&) override {}
};

inline const QString kNoRememberOption = QStringLiteral("--no-remember");
inline const char* const kNoRememberVariable = "ROSTREL_NO_REMEMBER";

// False with the option on the command line, or the variable set to anything but "" or "0".
bool rememberingWanted(const QStringList& arguments, const QByteArray& variable);

// The default roll book's file names, in the order they are looked for in each folder: the
// older format first, so that a teacher who kept the .xls beside a converted copy keeps the file
// the program has always written to.
inline const QStringList kDefaultRollBookNames{QStringLiteral("点名册.xls"), QStringLiteral("点名册.xlsx"),
                                               QStringLiteral("点名册.ods")};
inline const QString kDefaultRollBookName = kDefaultRollBookNames.first();

// Where the default roll book is looked for, in order: the current folder, the user's
// documents folder, the program's own folder.
QStringList rollBookFolders();

// The roll book to start from: the remembered one while it exists, else the first
// of `fileNames` found in `folders` (folder by folder); "" when there is none (the teacher then
// chooses one).
QString startRollBook(const std::optional<QString>& remembered, const QStringList& fileNames,
                      const QStringList& folders);

} // namespace rostrel
