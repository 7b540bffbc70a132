// A main window on the offscreen platform with fake seams, and lookups by object name.
#pragma once

#include "shell/FrmMd.h"
#include "support/Fakes.h"

#include "support/Driver.h"
#include "support/Gui.h"
#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace rostrel::test {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { w = std::make_unique<FrmMd>(fake.view()); }
    void TearDown() override { w.reset(); }

    template <typename T = QWidget> T* find(const QString& name) {
        T* c = w->findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name.toStdString();
        return c;
    }

    // Shows the window and lets the first layout pass and activation run.
    void showWindow() {
        w->show();
        ASSERT_TRUE(waitExposed(w.get()));
        QApplication::processEvents();
    }

    // Resizes the shown window and waits until the layout pass has seen the new size.
    void resizeTo(int width, int height) {
        w->resize(width, height);
        ASSERT_TRUE(waitUntil([&] { return w->size() == QSize(width, height); }));
        QApplication::processEvents();
    }

    FakePlatform fake;
    std::unique_ptr<FrmMd> w;
};

} // namespace rostrel::test
