// The desktop's file opener reports that no program takes a file when the desktop has none
// set up for its type, instead of starting an opener that fails out of sight.
#include "platform/qt/DesktopPlatform.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace rostrel;

namespace {

TEST(DesktopLauncher, NoProgramForTheTypeIsAFailure) {
    QTemporaryDir bin;
    // An xdg-mime that knows no program for any type.
    QFile script(bin.filePath(QStringLiteral("xdg-mime")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexit 0\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit() + ':' + path);
    const bool opened = DesktopLauncher().openFile(bin.filePath(QStringLiteral("点名册.xls")));
    qputenv("PATH", path);
    EXPECT_FALSE(opened);
}

} // namespace
