// Drives the main window the way a teacher does: controls found by their object names, real
// mouse, key and focus events sent to them, and what they show read back.
#pragma once

#include "shell/Controls.h"
#include "shell/FrmMd.h"
#include "support/Gui.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QTimer>
#include <gtest/gtest.h>

namespace rostrel::test {

// The control named `name` (a spec name, "OptFl(1)" for an array element); fails the test
// when there is none.
template <typename T = QWidget> T* control(QObject* root, const QString& name) {
    T* found = root->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << "no control " << name.toStdString();
    return found;
}

// Every control of the window, found by its object name.
inline Controls controlsOf(QObject* w) {
    Controls u;
    const auto get = [w]<typename T>(T*& slot, const QString& name) { slot = control<T>(w, name); };
    const auto arr = [&]<typename T, size_t N>(std::array<T*, N>& slots, const char* name) {
        for (size_t i = 0; i < N; ++i)
            get(slots[i], arrayName(name, static_cast<int>(i)));
    };
    const auto one = [&]<typename T>(T*& slot, const char* name) { get(slot, QString::fromLatin1(name)); };
    one(u.fraShezhi, "fraShezhi");
    one(u.fraxianshi, "fraxianshi");
    one(u.lblXm, "lblXm");
    one(u.lblSj, "lblSj");
    one(u.frXx, "frXx");
    one(u.LabXx, "LabXx");
    one(u.List1, "List1");
    one(u.List2, "List2");
    one(u.Label1, "Label1");
    one(u.LabCz, "LabCz");
    arr(u.cmdNext, "cmdNext");
    one(u.Timer1, "Timer1");
    one(u.timJs, "timJs");
    one(u.FraFl, "FraFl");
    arr(u.OptFl, "OptFl");
    one(u.fraXr, "fraXr");
    arr(u.OptDmFs, "OptDmFs");
    one(u.chkGd, "chkGd");
    one(u.chkCf, "chkCf");
    one(u.fraJf, "fraJf");
    one(u.cmbXs, "cmbXs");
    one(u.Label5, "Label5");
    one(u.FrJif, "FrJif");
    arr(u.Combo1, "Combo1");
    arr(u.Command1, "Command1");
    one(u.chkRq, "chkRq");
    one(u.Label7, "Label7");
    arr(u.imgXie, "imgXie");
    one(u.FrXls, "FrXls");
    one(u.txtFn, "txtFn");
    one(u.cmbXls, "cmbXls");
    one(u.CmbXm, "CmbXm");
    one(u.Image1, "Image1");
    one(u.Image2, "Image2");
    one(u.Label6, "Label6");
    arr(u.Label3, "Label3");
    one(u.frSz, "frSz");
    arr(u.txtXh, "txtXh");
    one(u.LblVal1, "LblVal1");
    one(u.LblVal2, "LblVal2");
    one(u.txtShu, "txtShu");
    one(u.Label4, "Label4");
    arr(u.ImgZdy, "ImgZdy");
    one(u.lstHm, "lstHm");
    one(u.FrZr, "FrZr");
    arr(u.OptFz, "OptFz");
    arr(u.txtFz, "txtFz");
    arr(u.imgFz, "imgFz");
    one(u.chkXx, "chkXx");
    one(u.fraJs, "fraJs");
    one(u.cmbJsDw, "cmbJsDw");
    one(u.cmbJsFs, "cmbJsFs");
    one(u.imgJs, "imgJs");
    one(u.Image3, "Image3");
    one(u.Image4, "Image4");
    one(u.MnFenLei, "MnFenLei");
    arr(u.MnFl, "MnFl");
    one(u.MnFangShi, "MnFangShi");
    arr(u.MnFs, "MnFs");
    one(u.MnMingdanshizhi, "MnMingdanshizhi");
    arr(u.MnSz, "MnSz");
    one(u.MnBjMenu, "MnBjMenu");
    for (int i = 0;; ++i) {
        auto* item = w->findChild<QAction*>(arrayName("MnBj", i));
        if (!item)
            break;
        u.MnBj.append(item);
    }
    one(u.MnXianshi, "MnXianshi");
    arr(u.MnXs, "MnXs");
    one(u.MnJishi, "MnJishi");
    arr(u.MnJs, "MnJs");
    one(u.MnGuanYu, "MnGuanYu");
    arr(u.MnBz, "MnBz");
    return u;
}

// The window is activated, as the desktop does when it is shown or clicked.
inline void activate(QWidget& window) {
    QEvent e(QEvent::WindowActivate);
    QApplication::sendEvent(&window, &e);
}

// The control receives and loses the keyboard focus.
inline void focusIn(QWidget* w) {
    QFocusEvent e(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(w, &e);
}
inline void focusOut(QWidget* w) {
    QFocusEvent e(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(w, &e);
}
// The box gets the focus, its text is replaced by typing `text`, and the focus leaves it.
inline void enterText(QLineEdit* box, const QString& text) {
    focusIn(box);
    box->selectAll();
    pressKey(box, Qt::Key_Delete);
    typeText(box, text);
    focusOut(box);
}
inline void pressEnter(QWidget* w) {
    pressKey(w, Qt::Key_Return, QStringLiteral("\r"));
}
// A double click on the list's current row.
inline void doubleClickCurrent(QAbstractItemView* list) {
    QWidget* port = list->viewport();
    const QPoint pos = list->visualRect(list->currentIndex()).center();
    const QPointF global = port->mapToGlobal(QPointF(pos));
    for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                      QEvent::MouseButtonRelease}) {
        const bool down = type != QEvent::MouseButtonRelease;
        QMouseEvent e(type, QPointF(pos), global, Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(port, &e);
    }
}
// The mouse button released over the list's current row.
inline void releaseOnCurrent(QAbstractItemView* list) {
    QWidget* port = list->viewport();
    const QPoint pos = list->visualRect(list->currentIndex()).center();
    QMouseEvent e(QEvent::MouseButtonRelease, QPointF(pos), port->mapToGlobal(QPointF(pos)), Qt::LeftButton,
                  Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(port, &e);
}
// One tick of a timer, as its interval elapsing gives it.
inline void tick(QTimer* timer) {
    QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}
// A click on row `row` of a list, as the teacher makes it.
inline void clickRow(QAbstractItemView* list, int row) {
    list->scrollTo(list->model()->index(row, 0));
    click(list->viewport(), list->visualRect(list->model()->index(row, 0)).center());
}

} // namespace rostrel::test
