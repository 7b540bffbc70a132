#include "rollbook/RollBookFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace rostrel::rollbook {

QString rollBookFilter() {
    return QStringLiteral("点名册|*.xls *.xlsx *.ods|Excel 97-2003|*.xls|Excel|*.xlsx|OpenDocument|*.ods");
}

QString defaultRollBookName(const QString& folder) {
    // The older format first: a teacher who kept the .xls beside a converted copy keeps
    // the file the program has always written to.
    const QStringList names{QStringLiteral("点名册.xls"), QStringLiteral("点名册.xlsx"), QStringLiteral("点名册.ods")};
    const QDir dir(folder);
    for (const QString& name : names)
        if (QFileInfo(dir.filePath(name)).isFile())
            return name;
    return names.first();
}

} // namespace rostrel::rollbook
