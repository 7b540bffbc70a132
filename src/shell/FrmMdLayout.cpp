// Creates every control of the main window with its design caption, geometry and start state.
#include "shell/FrmMd.h"

#include <QMenuBar>
#include <QVBoxLayout>

namespace rostrel {

namespace {

// Design geometry is in twips; the window works in logical pixels.
constexpr int px(int twips) { return twips / 15; }

template <typename T>
T* make(QWidget* parent, const QString& name, const QString& text, QRect r) {
    auto* w = new T(parent);
    w->setObjectName(name);
    if constexpr (requires { w->setText(text); })
        w->setText(text);
    w->setGeometry(r);
    return w;
}

QGroupBox* frame(QWidget* parent, const QString& name, const QString& title, QRect r) {
    auto* f = new QGroupBox(title, parent);
    f->setObjectName(name);
    f->setGeometry(r);
    return f;
}

QComboBox* combo(QWidget* parent, const QString& name, bool editable, QRect r, const QStringList& items) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setEditable(editable);
    c->addItems(items);
    c->setGeometry(r);
    return c;
}

ClickLabel* image(QWidget* parent, const QString& name, const QString& tip, QRect r) {
    auto* l = make<ClickLabel>(parent, name, QString(), r);
    l->setToolTipAndName(tip);
    l->makeKeyboardButton();
    l->setText(tip.left(2));
    l->setAlignment(Qt::AlignCenter);
    l->setFrameShape(QFrame::Box);
    return l;
}

QAction* action(QMenu* menu, const QString& name, const QString& text) {
    auto* a = menu->addAction(text);
    a->setObjectName(name);
    return a;
}

QMenu* menu(QMenuBar* bar, const char* name, const QString& title) {
    auto* m = bar->addMenu(title);
    m->setObjectName(QString::fromLatin1(name));
    return m;
}

} // namespace

void FrmMd::buildControls() {
    auto& u = ui;
    setObjectName(QStringLiteral("FrmMd"));
    setWindowTitle(QStringLiteral("Rostrel"));
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("client"));
    setCentralWidget(central);

    // ---- Settings area ----
    u.fraShezhi = new QWidget(central);
    u.fraShezhi->setObjectName(QStringLiteral("fraShezhi"));
    u.fraShezhi->setGeometry(px(1170), px(210), px(7095), px(3105));
    QWidget* s = u.fraShezhi;

    u.FraFl = frame(s, QStringLiteral("FraFl"), QStringLiteral("项目"), {0, 0, 70, 95});
    const QStringList fl{QStringLiteral("名单"), QStringLiteral("号码"), QStringLiteral("行列")};
    for (int i = 0; i < 3; ++i)
        u.OptFl[i] = make<QRadioButton>(u.FraFl, arrayName("OptFl", i), fl[i], {8, 18 + i * 24, 58, 22});

    u.fraXr = frame(s, QStringLiteral("fraXr"), QStringLiteral("选人规则"), {0, 97, 70, 110});
    u.OptDmFs[0] = make<QRadioButton>(u.fraXr, arrayName("OptDmFs", 0), QStringLiteral("随机"), {8, 18, 58, 22});
    u.OptDmFs[1] = make<QRadioButton>(u.fraXr, arrayName("OptDmFs", 1), QStringLiteral("顺序"), {8, 40, 58, 22});
    u.OptDmFs[0]->setChecked(true);
    u.chkGd = make<QCheckBox>(u.fraXr, QStringLiteral("chkGd"), QStringLiteral("滚动"), {8, 62, 58, 22});
    u.chkGd->setChecked(true);
    u.chkCf = make<QCheckBox>(u.fraXr, QStringLiteral("chkCf"), QStringLiteral("重复"), {8, 84, 58, 22});

    // Number range and the class list share one place.
    u.frSz = frame(s, QStringLiteral("frSz"), QStringLiteral("数值范围"), {72, 0, 170, 207});
    u.LblVal1 = make<QLabel>(u.frSz, QStringLiteral("LblVal1"), QStringLiteral("最小值"), {6, 18, 44, 22});
    u.txtXh[0] = make<TextBox>(u.frSz, arrayName("txtXh", 0), QStringLiteral("1"), {50, 18, 34, 22});
    u.LblVal2 = make<QLabel>(u.frSz, QStringLiteral("LblVal2"), QStringLiteral("最大值"), {88, 18, 44, 22});
    u.txtXh[1] = make<TextBox>(u.frSz, arrayName("txtXh", 1), QStringLiteral("48"), {130, 18, 34, 22});
    u.Label4 = make<QLabel>(u.frSz, QStringLiteral("Label4"), QStringLiteral("添加值"), {6, 44, 44, 22});
    u.txtShu = make<TextBox>(u.frSz, QStringLiteral("txtShu"), QStringLiteral("1,2,3,4,5,6"), {50, 44, 114, 22});
    const QStringList zdyTips{QStringLiteral("添加自定义值"), QStringLiteral("删除所选值"), QStringLiteral("清空列表")};
    for (int i = 0; i < 3; ++i)
        u.ImgZdy[i] = image(u.frSz, arrayName("ImgZdy", i), zdyTips[i], {6, 72 + i * 28, 40, 24});
    u.ImgZdy[0]->hide();
    u.ImgZdy[1]->hide();
    u.lstHm = make<ListBox>(u.frSz, QStringLiteral("lstHm"), QString(), {50, 70, 114, 130});
    for (int v = 1; v <= 48; ++v)
        u.lstHm->addItem(QString::number(v));

    u.FrXls = frame(s, QStringLiteral("FrXls"), QStringLiteral("班级名单"), {72, 0, 170, 207});
    u.FrXls->hide();
    u.Label3[1] = make<QLabel>(u.FrXls, arrayName("Label3", 1), QStringLiteral("点名册"), {6, 18, 44, 22});
    u.txtFn = make<QLineEdit>(u.FrXls, QStringLiteral("txtFn"), QStringLiteral("点名册.xls"), {50, 18, 84, 22});
    u.Image1 = image(u.FrXls, QStringLiteral("Image1"), QStringLiteral("寻找名单文件"), {136, 18, 28, 22});
    u.Label3[0] = make<QLabel>(u.FrXls, arrayName("Label3", 0), QStringLiteral("班 级"), {6, 46, 44, 22});
    u.cmbXls = combo(u.FrXls, QStringLiteral("cmbXls"), false, {50, 46, 84, 22}, {});
    u.Image2 = image(u.FrXls, QStringLiteral("Image2"), QStringLiteral("浏览名单内容"), {136, 46, 28, 22});
    u.Image2->hide();
    u.Label6 = make<QLabel>(u.FrXls, QStringLiteral("Label6"), QStringLiteral("名单"), {6, 74, 44, 22});
    u.CmbXm = combo(u.FrXls, QStringLiteral("CmbXm"), false, {50, 74, 114, 22}, {});

    // Grouping.
    u.FrZr = frame(s, QStringLiteral("FrZr"), QStringLiteral("分组"), {244, 0, 229, 95});
    u.OptFz[0] = make<QRadioButton>(u.FrZr, arrayName("OptFz", 0), QStringLiteral("规定组数"), {6, 18, 80, 22});
    u.txtFz[0] = make<TextBox>(u.FrZr, arrayName("txtFz", 0), QStringLiteral("1"), {88, 18, 40, 22});
    u.OptFz[1] = make<QRadioButton>(u.FrZr, arrayName("OptFz", 1), QStringLiteral("每组人数"), {6, 44, 80, 22});
    u.txtFz[1] = make<TextBox>(u.FrZr, arrayName("txtFz", 1), QStringLiteral("0"), {88, 44, 40, 22});
    u.OptFz[0]->setChecked(true);
    u.txtFz[1]->setEnabled(false);
    u.imgFz[0] = image(u.FrZr, arrayName("imgFz", 0), QStringLiteral("随机分组"), {134, 18, 40, 24});
    u.imgFz[1] = image(u.FrZr, arrayName("imgFz", 1), QStringLiteral("顺序分组"), {180, 18, 40, 24});
    u.imgXie[0] = image(u.FrZr, arrayName("imgXie", 0), QStringLiteral("写分组"), {134, 46, 40, 24});
    u.imgXie[0]->hide();
    u.chkXx = make<QCheckBox>(u.FrZr, QStringLiteral("chkXx"), QStringLiteral("分组信息"), {6, 70, 90, 22});

    // Presentation and scoring.
    u.fraJf = frame(s, QStringLiteral("fraJf"), QStringLiteral("打分"), {244, 97, 115, 110});
    u.Label5 = make<QLabel>(u.fraJf, QStringLiteral("Label5"), QStringLiteral("呈现形式"), {6, 16, 60, 18});
    u.cmbXs = combo(u.fraJf, QStringLiteral("cmbXs"), false, {6, 34, 103, 22}, {});
    u.FrJif = frame(u.fraJf, QStringLiteral("FrJif"), QString(), {2, 56, 111, 52});
    u.FrJif->hide();
    u.Label7 = make<QLabel>(u.FrJif, QStringLiteral("Label7"), QStringLiteral("记录成绩"), {4, 2, 50, 18});
    u.Combo1[0] = combo(u.FrJif, arrayName("Combo1", 0), true, {4, 22, 44, 22},
                        {QStringLiteral("5"), QStringLiteral("4"), QStringLiteral("3"), QStringLiteral("2"),
                         QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("-1"), QStringLiteral("-2"),
                         QStringLiteral("-3"), QStringLiteral("-4"), QStringLiteral("-5")});
    u.Combo1[0]->setCurrentText(QStringLiteral("5"));
    u.Command1[0] = make<QPushButton>(u.FrJif, arrayName("Command1", 0), QStringLiteral("+"), {50, 22, 18, 11});
    u.Command1[1] = make<QPushButton>(u.FrJif, arrayName("Command1", 1), QStringLiteral("-"), {50, 33, 18, 11});
    u.imgXie[1] = image(u.FrJif, arrayName("imgXie", 1), QStringLiteral("写成绩"), {72, 20, 36, 24});
    u.imgXie[1]->hide();
    u.chkRq = make<QCheckBox>(u.FrJif, QStringLiteral("chkRq"), QStringLiteral("Excel新列写入"), {54, 2, 56, 18});

    // Clock settings.
    u.fraJs = frame(s, QStringLiteral("fraJs"), QStringLiteral("计时"), {361, 97, 112, 110});
    u.Combo1[1] = combo(u.fraJs, arrayName("Combo1", 1), true, {6, 18, 44, 22},
                        {QStringLiteral("5"), QStringLiteral("4"), QStringLiteral("3"), QStringLiteral("2"),
                         QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("20"), QStringLiteral("30"),
                         QStringLiteral("40"), QStringLiteral("50")});
    u.Combo1[1]->setCurrentText(QStringLiteral("5"));
    u.Command1[2] = make<QPushButton>(u.fraJs, arrayName("Command1", 2), QStringLiteral("+"), {52, 18, 18, 11});
    u.Command1[3] = make<QPushButton>(u.fraJs, arrayName("Command1", 3), QStringLiteral("-"), {52, 29, 18, 11});
    u.cmbJsDw = combo(u.fraJs, QStringLiteral("cmbJsDw"), false, {72, 18, 36, 22},
                      {QStringLiteral("秒"), QStringLiteral("分"), QStringLiteral("时")});
    u.cmbJsFs = combo(u.fraJs, QStringLiteral("cmbJsFs"), false, {6, 46, 64, 22},
                      {QStringLiteral("正计时"), QStringLiteral("倒计时")});
    u.imgJs = image(u.fraJs, QStringLiteral("imgJs"), QStringLiteral("计时"), {72, 46, 36, 24});
    u.imgJs->setProperty("Tag", QStringLiteral("计时"));
    u.Image3 = make<QLabel>(u.fraJs, QStringLiteral("Image3"), QString(), {0, 0, 1, 1});
    u.Image3->hide();
    u.Image4 = make<QLabel>(u.fraJs, QStringLiteral("Image4"), QString(), {0, 0, 1, 1});
    u.Image4->hide();

    // ---- Display area ----
    u.fraxianshi = new QWidget(central);
    u.fraxianshi->setObjectName(QStringLiteral("fraxianshi"));
    QWidget* d = u.fraxianshi;
    u.frXx = frame(d, QStringLiteral("frXx"), QString(), {px(480), 0, px(7035), px(4665)});
    u.frXx->hide();
    u.Label1 = make<QLabel>(u.frXx, QStringLiteral("Label1"), QStringLiteral("组号"), {px(120), px(500), 50, 20});
    u.LabCz = make<QLabel>(u.frXx, QStringLiteral("LabCz"), QStringLiteral("第1组名单"), {px(780), px(500), 300, 20});
    u.List2 = make<ListBox>(u.frXx, QStringLiteral("List2"), QString(), {px(120), px(840), px(600), px(3000)});
    u.List1 = make<ListBox>(u.frXx, QStringLiteral("List1"), QString(), {px(780), px(840), px(6000), px(3000)});
    u.cmdNext[0] = make<QPushButton>(u.frXx, arrayName("cmdNext", 0), QStringLiteral("下一组"), {px(120), px(3900), 70, 24});
    u.cmdNext[1] = make<QPushButton>(u.frXx, arrayName("cmdNext", 1), QStringLiteral("下一个"), {px(1300), px(3900), 70, 24});
    u.LabXx = make<QLabel>(d, QStringLiteral("LabXx"), QStringLiteral("第1组名单"), {px(120), px(4050), px(9315), px(495)});
    u.LabXx->setAlignment(Qt::AlignCenter);
    u.LabXx->hide();
    u.lblXm = make<ClickLabel>(d, QStringLiteral("lblXm"), QStringLiteral("随机点名"), {px(2385), 0, px(4875), px(1350)});
    u.lblXm->setAlignment(Qt::AlignCenter);
    u.lblSj = make<ClickLabel>(d, QStringLiteral("lblSj"), QStringLiteral("00:00:00"), {px(90), px(4590), px(9315), px(975)});
    u.lblSj->setAlignment(Qt::AlignCenter);

    u.Timer1 = new QTimer(this);
    u.Timer1->setObjectName(QStringLiteral("Timer1"));
    u.Timer1->setInterval(50);
    u.timJs = new QTimer(this);
    u.timJs->setObjectName(QStringLiteral("timJs"));
    u.timJs->setInterval(1000);

    // ---- Menus ----
    QMenuBar* bar = menuBar();
    u.MnFenLei = menu(bar, "MnFenLei", QStringLiteral("点名分类"));
    const QStringList mnFl{QStringLiteral("按名单"), QStringLiteral("按序号"), QStringLiteral("按行列")};
    for (int i = 0; i < 3; ++i)
        u.MnFl[i] = action(u.MnFenLei, arrayName("MnFl", i), mnFl[i]);
    u.MnFangShi = menu(bar, "MnFangShi", QStringLiteral("点名方式"));
    const QStringList mnFs{QStringLiteral("随机点名"), QStringLiteral("顺序点名"), QStringLiteral("滚动显示")};
    for (int i = 0; i < 3; ++i)
        u.MnFs[i] = action(u.MnFangShi, arrayName("MnFs", i), mnFs[i]);
    u.MnFs[2]->setCheckable(true);
    u.MnFs[2]->setChecked(true);
    u.MnMingdanshizhi = menu(bar, "MnMingdanshizhi", QStringLiteral("名单设置"));
    u.MnSz[0] = action(u.MnMingdanshizhi, arrayName("MnSz", 0), QStringLiteral("选择名单"));
    u.MnBjMenu = u.MnMingdanshizhi->addMenu(QStringLiteral("选择班级"));
    u.MnBjMenu->setObjectName(QStringLiteral("MnBjMenu"));
    u.MnSz[1] = u.MnBjMenu->menuAction();
    u.MnSz[1]->setObjectName(arrayName("MnSz", 1));
    u.MnBj.append(action(u.MnBjMenu, arrayName("MnBj", 0), QStringLiteral("班级1")));
    u.MnSz[2] = action(u.MnMingdanshizhi, arrayName("MnSz", 2), QStringLiteral("下一组"));
    u.MnSz[3] = action(u.MnMingdanshizhi, arrayName("MnSz", 3), QStringLiteral("下一个"));
    u.MnXianshi = menu(bar, "MnXianshi", QStringLiteral("显示方式"));
    const QStringList mnXs{QStringLiteral("极简"), QStringLiteral("显示参数"), QStringLiteral("详细显示")};
    for (int i = 0; i < 3; ++i)
        u.MnXs[i] = action(u.MnXianshi, arrayName("MnXs", i), mnXs[i]);
    u.MnJishi = menu(bar, "MnJishi", QStringLiteral("计时"));
    const QStringList mnJs{QStringLiteral("设置"), QStringLiteral("倒计时"), QStringLiteral("正计时")};
    for (int i = 0; i < 3; ++i)
        u.MnJs[i] = action(u.MnJishi, arrayName("MnJs", i), mnJs[i]);
    u.MnJs[0]->setCheckable(true);
    u.MnJs[0]->setChecked(true);
    u.MnGuanYu = menu(bar, "MnGuanYu", QStringLiteral("帮助"));
    u.MnBz[0] = action(u.MnGuanYu, arrayName("MnBz", 0), QStringLiteral("关于"));

    central->setMinimumSize(1, 1);
    resize(px(9255), px(9390) + bar->sizeHint().height());
}

} // namespace rostrel
