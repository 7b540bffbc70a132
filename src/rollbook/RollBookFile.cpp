#include "rollbook/RollBookFile.h"

#include "platform/SetupStore.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace rostrel::rollbook {

QString rollBookFilter() {
    return QStringLiteral("点名册|*.xls *.xlsx *.ods|Excel 97-2003|*.xls|Excel|*.xlsx|OpenDocument|*.ods");
}

QString defaultRollBookName(const QString& folder) {
    const QStringList& names = kDefaultRollBookNames;
    const QDir dir(folder);
    for (const QString& name : names)
        if (QFileInfo(dir.filePath(name)).isFile())
            return name;
    return names.first();
}

} // namespace rostrel::rollbook
