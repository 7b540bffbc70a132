// Creates every control of the main window with its design caption, geometry and start state.
// Geometry of the regions is the design's, in twips; the controls inside the settings area
// are placed in pixels on the frames' grid.
#include "platform/qt/DesktopPlatform.h"
#include "shell/Fonts.h"
#include "shell/FrmMd.h"
#include "shell/Twips.h"

#include <QMenuBar>
#include <QPixmap>

namespace rostrel {

namespace {

template <typename T> T* make(QWidget* parent, const QString& name, const QString& text, QRect r) {
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

QStringList numbers(std::initializer_list<int> values) {
    QStringList out;
    for (int v : values)
        out.append(QString::number(v));
    return out;
}

// A picture of the program's own (share/icons/<file>.png), scaled to `side` pixels.
QPixmap picture(const QString& file, int side) {
    const QString path = findDataFile(QStringLiteral("icons/") + file + QStringLiteral(".png"));
    QPixmap pm;
    if (path.isEmpty() || !pm.load(path))
        return {};
    return pm.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void showPicture(QLabel* l, const QPixmap& pm, const QString& fallback) {
    l->setAlignment(Qt::AlignCenter);
    if (pm.isNull()) {
        l->setText(fallback); // picture missing: the control still shows what it does
        l->setFrameShape(QFrame::Box);
    } else {
        l->setPixmap(pm);
    }
}

// A clickable image: tooltip as its accessible name, reachable with the keyboard.
ClickLabel* image(QWidget* parent, const QString& name, const QString& tip, QRect r, const QString& file) {
    auto* l = make<ClickLabel>(parent, name, QString(), r);
    l->setToolTipAndName(tip);
    l->makeKeyboardButton();
    showPicture(l, picture(file, std::min(r.width(), r.height()) - 2), tip.left(2));
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
    installFontSubstitutions();
    setObjectName(QStringLiteral("FrmMd"));
    setWindowTitle(QStringLiteral("Rostrel"));
    setFont(designFont(kFontYahei, 9));
    {
        QIcon icon;
        for (const char* size : {"48", "256"}) {
            const QString f =
                findDataFile(QStringLiteral("icons/rostrel-") + QLatin1String(size) + QStringLiteral(".png"));
            if (!f.isEmpty())
                icon.addFile(f);
        }
        setWindowIcon(icon);
    }
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("client"));
    setCentralWidget(central);

    // ---- Settings area: 473 x 207 px. Columns: category and draw rules (70 px), number
    // range or class list (156 px), then grouping above presentation/score and clock. ----
    u.fraShezhi = new QWidget(central);
    u.fraShezhi->setObjectName(QStringLiteral("fraShezhi"));
    u.fraShezhi->setGeometry(pxRect(1170, 210, 7095, 3105));
    QWidget* s = u.fraShezhi;

    u.FraFl = frame(s, QStringLiteral("FraFl"), QStringLiteral("项目"), {0, 0, 70, 95});
    const QStringList fl{QStringLiteral("名单"), QStringLiteral("号码"), QStringLiteral("行列")};
    for (int i = 0; i < 3; ++i)
        u.OptFl[i] = make<QRadioButton>(u.FraFl, arrayName("OptFl", i), fl[i], {8, 20 + i * 24, 58, 22});

    u.fraXr = frame(s, QStringLiteral("fraXr"), QStringLiteral("选人规则"), {0, 97, 70, 110});
    u.OptDmFs[0] = make<QRadioButton>(u.fraXr, arrayName("OptDmFs", 0), QStringLiteral("随机"), {8, 20, 58, 22});
    u.OptDmFs[1] = make<QRadioButton>(u.fraXr, arrayName("OptDmFs", 1), QStringLiteral("顺序"), {8, 42, 58, 22});
    u.OptDmFs[0]->setChecked(true);
    u.chkGd = make<QCheckBox>(u.fraXr, QStringLiteral("chkGd"), QStringLiteral("滚动"), {8, 64, 58, 22});
    u.chkGd->setChecked(true);
    u.chkCf = make<QCheckBox>(u.fraXr, QStringLiteral("chkCf"), QStringLiteral("重复"), {8, 86, 58, 22});

    // Number range; the class list takes the same place (moved there at start-up).
    u.frSz = frame(s, QStringLiteral("frSz"), QStringLiteral("数值范围"), {72, 0, 156, 207});
    u.LblVal1 = make<QLabel>(u.frSz, QStringLiteral("LblVal1"), QStringLiteral("最小值"), {4, 20, 38, 22});
    u.txtXh[0] = make<TextBox>(u.frSz, arrayName("txtXh", 0), QStringLiteral("1"), {42, 20, 32, 22});
    u.LblVal2 = make<QLabel>(u.frSz, QStringLiteral("LblVal2"), QStringLiteral("最大值"), {80, 20, 38, 22});
    u.txtXh[1] = make<TextBox>(u.frSz, arrayName("txtXh", 1), QStringLiteral("48"), {118, 20, 32, 22});
    u.Label4 = make<QLabel>(u.frSz, QStringLiteral("Label4"), QStringLiteral("添加值"), {4, 46, 38, 22});
    u.txtShu = make<TextBox>(u.frSz, QStringLiteral("txtShu"), QStringLiteral("1,2,3,4,5,6"), {42, 46, 108, 22});
    for (TextBox* t : {u.txtXh[0], u.txtXh[1], u.txtShu})
        setBackColor(t, kRestingBack);
    const QStringList zdyTips{QStringLiteral("添加自定义值"), QStringLiteral("删除所选值"), QStringLiteral("清空列表")};
    for (int i = 0; i < 3; ++i)
        u.ImgZdy[i] = image(u.frSz, arrayName("ImgZdy", i), zdyTips[i], {4, 74 + i * 44, 34, 34},
                            QStringLiteral("ImgZdy") + QString::number(i));
    u.ImgZdy[0]->hide();
    u.ImgZdy[1]->hide();
    u.lstHm = make<ListBox>(u.frSz, QStringLiteral("lstHm"), QString(), {42, 72, 108, 129});
    for (int v = 1; v <= 48; ++v)
        u.lstHm->addItem(QString::number(v));

    u.FrXls = frame(s, QStringLiteral("FrXls"), QStringLiteral("班级名单"), {72, 0, 156, 207});
    u.FrXls->hide();
    u.Label3[1] = make<QLabel>(u.FrXls, arrayName("Label3", 1), QStringLiteral("点名册"), {4, 20, 38, 22});
    u.txtFn = make<QLineEdit>(u.FrXls, QStringLiteral("txtFn"), QStringLiteral("点名册.xls"), {42, 20, 82, 22});
    u.Image1 = image(u.FrXls, QStringLiteral("Image1"), QStringLiteral("寻找名单文件"), {126, 17, 28, 28},
                     QStringLiteral("Image1"));
    u.Label3[0] = make<QLabel>(u.FrXls, arrayName("Label3", 0), QStringLiteral("班 级"), {4, 50, 38, 22});
    u.cmbXls = combo(u.FrXls, QStringLiteral("cmbXls"), false, {42, 50, 82, 22}, {});
    u.Image2 = image(u.FrXls, QStringLiteral("Image2"), QStringLiteral("浏览名单内容"), {126, 47, 28, 28},
                     QStringLiteral("Image2"));
    u.Image2->hide();
    u.Label6 = make<QLabel>(u.FrXls, QStringLiteral("Label6"), QStringLiteral("名单"), {4, 80, 38, 22});
    u.CmbXm = combo(u.FrXls, QStringLiteral("CmbXm"), false, {42, 80, 108, 22}, {});

    // Grouping.
    u.FrZr = frame(s, QStringLiteral("FrZr"), QStringLiteral("分组"), {230, 0, 243, 95});
    u.OptFz[0] = make<QRadioButton>(u.FrZr, arrayName("OptFz", 0), QStringLiteral("规定组数"), {6, 20, 78, 22});
    u.txtFz[0] = make<TextBox>(u.FrZr, arrayName("txtFz", 0), QStringLiteral("1"), {86, 20, 40, 22});
    u.OptFz[1] = make<QRadioButton>(u.FrZr, arrayName("OptFz", 1), QStringLiteral("每组人数"), {6, 46, 78, 22});
    u.txtFz[1] = make<TextBox>(u.FrZr, arrayName("txtFz", 1), QStringLiteral("0"), {86, 46, 40, 22});
    u.OptFz[0]->setChecked(true);
    setBackColor(u.txtFz[0], kEditingBack);
    setBackColor(u.txtFz[1], kRestingBack);
    u.txtFz[1]->setEnabled(false);
    u.imgFz[0] =
        image(u.FrZr, arrayName("imgFz", 0), QStringLiteral("随机分组"), {134, 20, 32, 32}, QStringLiteral("imgFz0"));
    u.imgFz[1] =
        image(u.FrZr, arrayName("imgFz", 1), QStringLiteral("顺序分组"), {170, 20, 32, 32}, QStringLiteral("imgFz1"));
    u.imgXie[0] =
        image(u.FrZr, arrayName("imgXie", 0), QStringLiteral("写分组"), {206, 20, 32, 32}, QStringLiteral("imgXie0"));
    u.imgXie[0]->hide();
    u.chkXx = make<QCheckBox>(u.FrZr, QStringLiteral("chkXx"), QStringLiteral("分组信息"), {6, 72, 90, 22});

    // Presentation and scoring.
    u.fraJf = frame(s, QStringLiteral("fraJf"), QStringLiteral("打分"), {230, 97, 135, 110});
    u.Label5 = make<QLabel>(u.fraJf, QStringLiteral("Label5"), QStringLiteral("呈现形式"), {6, 19, 120, 18});
    u.cmbXs = combo(u.fraJf, QStringLiteral("cmbXs"), false, {6, 37, 123, 22}, {});
    u.FrJif = frame(u.fraJf, QStringLiteral("FrJif"), QString(), {3, 60, 129, 48});
    u.FrJif->setFlat(true);
    u.FrJif->hide();
    u.chkRq = make<QCheckBox>(u.FrJif, QStringLiteral("chkRq"), QStringLiteral("Excel新列写入"), {3, 1, 123, 20});
    u.Label7 = make<QLabel>(u.FrJif, QStringLiteral("Label7"), QStringLiteral("记录成绩"), {3, 24, 50, 22});
    u.Combo1[0] =
        combo(u.FrJif, arrayName("Combo1", 0), true, {53, 24, 38, 22}, numbers({5, 4, 3, 2, 1, 0, -1, -2, -3, -4, -5}));
    u.Combo1[0]->setCurrentText(QStringLiteral("5"));
    u.Command1[0] = make<QPushButton>(u.FrJif, arrayName("Command1", 0), QStringLiteral("+"), {92, 24, 14, 11});
    u.Command1[1] = make<QPushButton>(u.FrJif, arrayName("Command1", 1), QStringLiteral("-"), {92, 35, 14, 11});
    u.imgXie[1] =
        image(u.FrJif, arrayName("imgXie", 1), QStringLiteral("写成绩"), {107, 23, 22, 24}, QStringLiteral("imgXie1"));
    u.imgXie[1]->hide();

    // Clock settings.
    u.fraJs = frame(s, QStringLiteral("fraJs"), QStringLiteral("计时"), {367, 97, 106, 110});
    u.Combo1[1] =
        combo(u.fraJs, arrayName("Combo1", 1), true, {4, 20, 38, 22}, numbers({5, 4, 3, 2, 1, 10, 20, 30, 40, 50}));
    u.Combo1[1]->setCurrentText(QStringLiteral("5"));
    u.Command1[2] = make<QPushButton>(u.fraJs, arrayName("Command1", 2), QStringLiteral("+"), {43, 20, 15, 11});
    u.Command1[3] = make<QPushButton>(u.fraJs, arrayName("Command1", 3), QStringLiteral("-"), {43, 31, 15, 11});
    u.cmbJsDw = combo(u.fraJs, QStringLiteral("cmbJsDw"), false, {60, 20, 42, 22},
                      {QStringLiteral("秒"), QStringLiteral("分"), QStringLiteral("时")});
    u.cmbJsFs = combo(u.fraJs, QStringLiteral("cmbJsFs"), false, {5, 52, 62, 22},
                      {QStringLiteral("正计时"), QStringLiteral("倒计时")});
    for (QPushButton* b : {u.Command1[0], u.Command1[1], u.Command1[2], u.Command1[3]}) {
        b->setFont(designFont(kFontYahei, 7));
        b->setFocusPolicy(Qt::NoFocus); // a step keeps the focus in the box it steps
    }
    // The idle and running pictures live in two hidden images; imgJs shows one of them.
    u.Image3 = make<QLabel>(u.fraJs, QStringLiteral("Image3"), QString(), {70, 48, 32, 32});
    showPicture(u.Image3, picture(QStringLiteral("imgJs0"), 30), QStringLiteral("计时"));
    u.Image3->hide();
    u.Image4 = make<QLabel>(u.fraJs, QStringLiteral("Image4"), QString(), {70, 48, 32, 32});
    showPicture(u.Image4, picture(QStringLiteral("imgJs1"), 30), QStringLiteral("暂停"));
    u.Image4->hide();
    u.imgJs = make<ClickLabel>(u.fraJs, QStringLiteral("imgJs"), QString(), {70, 48, 32, 32});
    u.imgJs->setToolTipAndName(QStringLiteral("计时"));
    u.imgJs->makeKeyboardButton();
    showPicture(u.imgJs, u.Image3->pixmap(), QStringLiteral("计时"));

    // ---- Display area ----
    u.fraxianshi = new QWidget(central);
    u.fraxianshi->setObjectName(QStringLiteral("fraxianshi"));
    QWidget* d = u.fraxianshi;
    u.lblXm = make<NameLabel>(d, QStringLiteral("lblXm"), QStringLiteral("随机点名"), pxRect(2385, 0, 4875, 1350));
    u.lblXm->setAlignment(Qt::AlignCenter);
    u.lblXm->setFont(designFont(kFontKai, 72, true));
    u.lblSj = make<ClickLabel>(d, QStringLiteral("lblSj"), QStringLiteral("00:00:00"), pxRect(90, 4590, 9315, 975));
    u.lblSj->setAlignment(Qt::AlignCenter);
    u.lblSj->setFont(designFont(kFontYahei, 42, true));
    u.LabXx = make<QLabel>(d, QStringLiteral("LabXx"), QStringLiteral("第1组名单"), pxRect(120, 4050, 9315, 495));
    u.LabXx->setAlignment(Qt::AlignCenter);
    u.LabXx->setFont(designFont(kFontYahei, 12));
    u.LabXx->hide();
    // The group panel lies over the name label when it is shown.
    u.frXx = frame(d, QStringLiteral("frXx"), QString(), pxRect(480, 450, 7035, 4665));
    u.frXx->setAutoFillBackground(true);
    u.frXx->hide();
    u.Label1 = make<QLabel>(u.frXx, QStringLiteral("Label1"), QStringLiteral("组号"), pxRect(120, 480, 600, 330));
    u.LabCz = make<QLabel>(u.frXx, QStringLiteral("LabCz"), QStringLiteral("第1组名单"), pxRect(780, 480, 4200, 330));
    u.cmdNext[0] =
        make<QPushButton>(u.frXx, arrayName("cmdNext", 0), QStringLiteral("下一组"), pxRect(5100, 90, 900, 360));
    u.cmdNext[1] =
        make<QPushButton>(u.frXx, arrayName("cmdNext", 1), QStringLiteral("下一个"), pxRect(6030, 90, 900, 360));
    u.List2 = make<ListBox>(u.frXx, QStringLiteral("List2"), QString(), pxRect(120, 840, 600, 3825));
    u.List1 = make<ListBox>(u.frXx, QStringLiteral("List1"), QString(), pxRect(780, 840, 6255, 3825));
    for (ListBox* l : {u.List1, u.List2})
        l->setFont(designFont(kFontYahei, 16));

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

    // The design size: client area 9255 x 9390 twips below the menu bar.
    central->setMinimumSize(1, 1);
    resize(px(9255), px(9390) + bar->sizeHint().height());
}

} // namespace rostrel
