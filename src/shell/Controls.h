// Every control of the main window, by its design name. Control arrays are std::arrays
// indexed like the design; each control's objectName is its name, with "(i)" for arrays.
// The shell creates them all (FrmMdLayout.cpp); the subsystems' handlers use them.
#pragma once

#include "shell/Widgets.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVector>
#include <array>

namespace rostrel {

struct Controls {
    // Regions
    QWidget* fraShezhi = nullptr;          // settings area
    QWidget* fraxianshi = nullptr;         // display area
    ClickLabel* lblXm = nullptr;           // the big name label
    ClickLabel* lblSj = nullptr;           // clock display
    QGroupBox* frXx = nullptr;             // group information
    QLabel* LabXx = nullptr;               // grouping summary
    ListBox* List1 = nullptr;              // members
    ListBox* List2 = nullptr;              // groups
    QLabel* Label1 = nullptr;              // "组号"
    QLabel* LabCz = nullptr;               // position line of the pick
    std::array<QPushButton*, 2> cmdNext{}; // "下一组", "下一个"
    QTimer* Timer1 = nullptr;              // rolling display, 50 ms
    QTimer* timJs = nullptr;               // clock, 1000 ms

    // Category and draw rules
    QGroupBox* FraFl = nullptr; // "项目"
    std::array<QRadioButton*, 3> OptFl{};
    QGroupBox* fraXr = nullptr; // "选人规则"
    std::array<QRadioButton*, 2> OptDmFs{};
    QCheckBox* chkGd = nullptr; // "滚动"
    QCheckBox* chkCf = nullptr; // "重复"

    // Presentation and score entry
    QGroupBox* fraJf = nullptr; // "打分"
    QComboBox* cmbXs = nullptr;
    QLabel* Label5 = nullptr; // "呈现形式"
    QGroupBox* FrJif = nullptr;
    std::array<QComboBox*, 2> Combo1{}; // 0 score box, 1 clock amount
    std::array<QPushButton*, 4> Command1{};
    QCheckBox* chkRq = nullptr;          // "Excel新列写入"
    QLabel* Label7 = nullptr;            // "记录成绩"
    std::array<ClickLabel*, 2> imgXie{}; // 0 "写分组", 1 "写成绩"

    // Roll book
    QGroupBox* FrXls = nullptr; // "班级名单"
    QLineEdit* txtFn = nullptr;
    QComboBox* cmbXls = nullptr;
    QComboBox* CmbXm = nullptr;
    ClickLabel* Image1 = nullptr;    // "寻找名单文件"
    ClickLabel* Image2 = nullptr;    // "浏览名单内容"
    QLabel* Label6 = nullptr;        // "名单"
    std::array<QLabel*, 2> Label3{}; // "班 级", "点名册"

    // Number list
    QGroupBox* frSz = nullptr; // "数值范围"
    std::array<TextBox*, 2> txtXh{};
    QLabel* LblVal1 = nullptr;
    QLabel* LblVal2 = nullptr;
    TextBox* txtShu = nullptr;
    QLabel* Label4 = nullptr; // "添加值"
    std::array<ClickLabel*, 3> ImgZdy{};
    ListBox* lstHm = nullptr;

    // Grouping
    QGroupBox* FrZr = nullptr; // "分组"
    std::array<QRadioButton*, 2> OptFz{};
    std::array<TextBox*, 2> txtFz{};
    std::array<ClickLabel*, 2> imgFz{}; // 0 "随机分组", 1 "顺序分组"
    QCheckBox* chkXx = nullptr;         // "分组信息"

    // Clock
    QGroupBox* fraJs = nullptr; // "计时"
    QComboBox* cmbJsDw = nullptr;
    QComboBox* cmbJsFs = nullptr;
    ClickLabel* imgJs = nullptr;
    QLabel* Image3 = nullptr; // idle icon holder (hidden)
    QLabel* Image4 = nullptr; // running icon holder (hidden)

    // Menus
    QMenu* MnFenLei = nullptr;
    std::array<QAction*, 3> MnFl{};
    QMenu* MnFangShi = nullptr;
    std::array<QAction*, 3> MnFs{};
    QMenu* MnMingdanshizhi = nullptr;
    std::array<QAction*, 4> MnSz{}; // MnSz(1) is the action of the submenu MnBjMenu
    QMenu* MnBjMenu = nullptr;      // the "选择班级" submenu holding MnBj
    QVector<QAction*> MnBj;         // one item per worksheet, at least one
    QMenu* MnXianshi = nullptr;
    std::array<QAction*, 3> MnXs{};
    QMenu* MnJishi = nullptr;
    std::array<QAction*, 3> MnJs{};
    QMenu* MnGuanYu = nullptr;
    std::array<QAction*, 1> MnBz{};
};

// objectName of a control-array element: "OptFl(1)".
inline QString arrayName(const char* name, int index) {
    return QString::fromLatin1(name) + u'(' + QString::number(index) + u')';
}

} // namespace rostrel
