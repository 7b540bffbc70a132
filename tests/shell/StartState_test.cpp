// The main window as it opens: design states of the controls every part works with, found by
// their object names, and the start-up steps.
#include "WindowFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>

using namespace rostrel;
using namespace rostrel::test;

namespace {

QStringList items(const QComboBox* c) {
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out.append(c->itemText(i));
    return out;
}

QRgb back(const QWidget* w) {
    return w->palette().color(QPalette::Base).rgb() & 0xFFFFFF;
}

} // namespace

TEST_F(WindowTest, CaptionsChecksAndListsOfTheDesign) {
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Rostrel"));
    EXPECT_EQ(find<QLabel>("lblXm")->text(), QStringLiteral("随机点名"));
    EXPECT_EQ(find<QLabel>("lblSj")->text(), QStringLiteral("00:00:00"));
    EXPECT_EQ(find<QLabel>("LabXx")->text(), QStringLiteral("第1组名单"));
    EXPECT_EQ(find<QGroupBox>("FraFl")->title(), QStringLiteral("项目"));
    EXPECT_EQ(find<QGroupBox>("frSz")->title(), QStringLiteral("数值范围"));
    EXPECT_EQ(find<QGroupBox>("FrXls")->title(), QStringLiteral("班级名单"));
    EXPECT_EQ(find<QGroupBox>("fraJs")->title(), QStringLiteral("计时"));
    EXPECT_EQ(find<QRadioButton>("OptFl(2)")->text(), QStringLiteral("行列"));
    EXPECT_TRUE(find<QRadioButton>("OptDmFs(0)")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("chkGd")->isChecked());
    EXPECT_FALSE(find<QCheckBox>("chkCf")->isChecked());
    EXPECT_FALSE(find<QCheckBox>("chkXx")->isChecked());
    EXPECT_FALSE(find<QCheckBox>("chkRq")->isChecked());
    EXPECT_EQ(find<QCheckBox>("chkRq")->text(), QStringLiteral("Excel新列写入"));
    EXPECT_TRUE(find<QRadioButton>("OptFz(0)")->isChecked());

    EXPECT_EQ(items(find<QComboBox>("Combo1(1)")),
              (QStringList{"5", "4", "3", "2", "1", "10", "20", "30", "40", "50"}));
    EXPECT_EQ(find<QComboBox>("Combo1(1)")->currentText(), QStringLiteral("5"));
    EXPECT_EQ(items(find<QComboBox>("Combo1(0)")),
              (QStringList{"5", "4", "3", "2", "1", "0", "-1", "-2", "-3", "-4", "-5"}));
    EXPECT_EQ(find<QComboBox>("Combo1(0)")->currentText(), QStringLiteral("5"));
    EXPECT_EQ(items(find<QComboBox>("cmbJsDw")), (QStringList{"秒", "分", "时"}));
    EXPECT_EQ(find<QComboBox>("cmbJsDw")->currentIndex(), 0);
    EXPECT_EQ(items(find<QComboBox>("cmbJsFs")), (QStringList{"正计时", "倒计时"}));
    EXPECT_EQ(find<QComboBox>("cmbJsFs")->currentIndex(), 0);

    auto* lstHm = find<QListWidget>("lstHm");
    ASSERT_EQ(lstHm->count(), 48);
    EXPECT_EQ(lstHm->item(0)->text(), QStringLiteral("1"));
    EXPECT_EQ(lstHm->item(47)->text(), QStringLiteral("48"));
    EXPECT_EQ(find<QListWidget>("List1")->count(), 0);
    EXPECT_EQ(find<QListWidget>("List2")->count(), 0);
}

TEST_F(WindowTest, TextBoxesCarryTheDesignTextsAndColours) {
    EXPECT_EQ(find<QLineEdit>("txtXh(0)")->text(), QStringLiteral("1"));
    EXPECT_EQ(find<QLineEdit>("txtXh(1)")->text(), QStringLiteral("48"));
    EXPECT_EQ(find<QLineEdit>("txtShu")->text(), QStringLiteral("1,2,3,4,5,6"));
    EXPECT_EQ(find<QLineEdit>("txtFn")->text(), QStringLiteral("点名册.xls"));
    EXPECT_EQ(back(find("txtXh(0)")), 0xE0E0E0u);
    EXPECT_EQ(back(find("txtXh(1)")), 0xE0E0E0u);
    EXPECT_EQ(back(find("txtShu")), 0xE0E0E0u);
    auto* count = find<QLineEdit>("txtFz(0)");
    auto* size = find<QLineEdit>("txtFz(1)");
    EXPECT_EQ(count->text(), QStringLiteral("1"));
    EXPECT_EQ(back(count), 0xFFFFFFu);
    EXPECT_TRUE(count->isEnabled());
    EXPECT_EQ(size->text(), QStringLiteral("0"));
    EXPECT_EQ(back(size), 0xE0E0E0u);
    EXPECT_FALSE(size->isEnabled());
    // A disabled box shows its colour too.
    EXPECT_EQ(size->palette().color(QPalette::Disabled, QPalette::Base).rgb() & 0xFFFFFF, 0xE0E0E0u);
}

TEST_F(WindowTest, HiddenAndShownControls) {
    EXPECT_TRUE(find("frXx")->isHidden());
    EXPECT_TRUE(find("LabXx")->isHidden());
    EXPECT_TRUE(find("FrXls")->isHidden());
    EXPECT_TRUE(find("ImgZdy(0)")->isHidden());
    EXPECT_TRUE(find("ImgZdy(1)")->isHidden());
    EXPECT_FALSE(find("ImgZdy(2)")->isHidden());
    EXPECT_TRUE(find("imgXie(0)")->isHidden());
    EXPECT_TRUE(find("imgXie(1)")->isHidden());
    EXPECT_TRUE(find("Image3")->isHidden());
    EXPECT_TRUE(find("Image4")->isHidden());
    EXPECT_FALSE(find("fraJs")->isHidden());
    EXPECT_FALSE(find("lblSj")->isHidden());
    EXPECT_FALSE(find<QTimer>("Timer1")->isActive());
    EXPECT_EQ(find<QTimer>("Timer1")->interval(), 50);
    EXPECT_FALSE(find<QTimer>("timJs")->isActive());
    EXPECT_EQ(find<QTimer>("timJs")->interval(), 1000);
}

TEST_F(WindowTest, ClickableImagesAreNamedPicturesReachableByKeyboard) {
    const QStringList images{"imgFz(0)", "imgFz(1)", "imgXie(0)", "imgXie(1)", "imgJs",
                             "Image1",   "Image2",   "ImgZdy(0)", "ImgZdy(1)", "ImgZdy(2)"};
    for (const QString& name : images) {
        auto* l = find<QLabel>(name);
        ASSERT_NE(l, nullptr);
        EXPECT_FALSE(l->pixmap().isNull()) << name.toStdString();
        EXPECT_FALSE(l->accessibleName().isEmpty()) << name.toStdString();
        EXPECT_EQ(l->accessibleName(), l->toolTip());
        EXPECT_EQ(l->focusPolicy(), Qt::TabFocus); // a click does not take the focus
    }
    EXPECT_EQ(find("imgFz(0)")->toolTip(), QStringLiteral("随机分组"));
    EXPECT_EQ(find("imgXie(1)")->toolTip(), QStringLiteral("写成绩"));
    EXPECT_EQ(find("imgJs")->toolTip(), QStringLiteral("计时"));
    EXPECT_EQ(find("imgJs")->toolTip(), QStringLiteral("计时"));
}

TEST_F(WindowTest, MenusWithTheirCheckMarks) {
    const std::pair<const char*, const char*> captions[] = {
        {"MnFl(0)", "按名单"},   {"MnFl(1)", "按序号"},   {"MnFl(2)", "按行列"},   {"MnFs(0)", "随机点名"},
        {"MnFs(1)", "顺序点名"}, {"MnFs(2)", "滚动显示"}, {"MnSz(0)", "选择名单"}, {"MnSz(1)", "选择班级"},
        {"MnSz(2)", "下一组"},   {"MnSz(3)", "下一个"},   {"MnBj(0)", "班级1"},    {"MnXs(0)", "极简"},
        {"MnXs(1)", "显示参数"}, {"MnXs(2)", "详细显示"}, {"MnJs(0)", "设置"},     {"MnJs(1)", "倒计时"},
        {"MnJs(2)", "正计时"},   {"MnBz(0)", "关于"}};
    for (const auto& [name, caption] : captions) {
        auto* a = w->findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(a, nullptr) << name;
        EXPECT_EQ(a->text(), QString::fromUtf8(caption)) << name;
    }
    EXPECT_TRUE(w->findChild<QAction*>("MnFs(2)")->isChecked());
    EXPECT_TRUE(w->findChild<QAction*>("MnJs(0)")->isChecked());
    EXPECT_FALSE(w->findChild<QAction*>("MnXs(0)")->isCheckable()); // display modes carry no marks
    EXPECT_EQ(find<QMenu>("MnGuanYu")->title(), QStringLiteral("帮助"));
    EXPECT_EQ(find<QMenu>("MnJishi")->title(), QStringLiteral("计时"));
}

TEST_F(WindowTest, FontsOfTheDesign) {
    const QFont xm = find("lblXm")->font();
    EXPECT_EQ(xm.family(), QStringLiteral("华文楷体"));
    EXPECT_TRUE(xm.bold());
    EXPECT_DOUBLE_EQ(xm.pointSizeF(), 72.0);
    EXPECT_EQ(find("lblSj")->font().family(), QStringLiteral("微软雅黑"));
    EXPECT_TRUE(find("lblSj")->font().bold());
    EXPECT_EQ(find("List1")->font().family(), QStringLiteral("微软雅黑"));
    // The requested families resolve to fonts that write Chinese.
    for (const char* name : {"lblXm", "lblSj", "List1"}) {
        const QFontInfo info(find(QString::fromLatin1(name))->font());
        EXPECT_TRUE(QFontMetrics(find(QString::fromLatin1(name))->font()).inFontUcs4(U'点'))
            << name << " -> " << info.family().toStdString();
    }
}

TEST_F(WindowTest, StartUpStepsPlaceTheAreasAndCaptureTheBaseline) {
    auto* shezhi = find("fraShezhi");
    EXPECT_EQ(shezhi->size(), QSize(473, 207)); // 7095 x 3105 twips
    EXPECT_EQ(find("fraxianshi")->y(), shezhi->y() + shezhi->height());
    EXPECT_EQ(find("frXx")->y(), 0);
    EXPECT_EQ(find("FrXls")->pos(), find("frSz")->pos());
    EXPECT_FLOAT_EQ(w->layoutBaseline().BaseWidth, 9255.0f);
    EXPECT_FLOAT_EQ(w->layoutBaseline().BaseFontSize, 72.0f);
    EXPECT_FLOAT_EQ(w->layoutBaseline().BaseSjHeight, 975.0f);
    EXPECT_FLOAT_EQ(w->layoutBaseline().BaseXxHeight, 4665.0f);
    EXPECT_FLOAT_EQ(w->layoutBaseline().BaseXxWidth, 7035.0f);
    EXPECT_FLOAT_EQ(w->layoutBaseline().BaseLabXxHeight, 495.0f);
    EXPECT_FLOAT_EQ(w->layoutBaseline().BaseHeight, static_cast<float>(w->height() * 15));
    EXPECT_EQ(w->lesson().session().FirstShow, 1);
}

TEST_F(WindowTest, SettingsFramesFitTheAreaWithoutOverlapping) {
    auto* shezhi = find("fraShezhi");
    const QStringList frames{"FraFl", "fraXr", "frSz", "FrZr", "fraJf", "fraJs"};
    for (const QString& a : frames) {
        const QRect ra = find(a)->geometry();
        EXPECT_TRUE(shezhi->rect().contains(ra)) << a.toStdString();
        for (const QString& b : frames)
            if (a < b) {
                EXPECT_FALSE(ra.intersects(find(b)->geometry())) << a.toStdString() << " / " << b.toStdString();
            }
    }
    // Inside every frame, the visible controls stay within it and clear of each other.
    for (const QString& f : frames + QStringList{"FrXls", "FrJif"}) {
        QWidget* frame = find(f);
        QList<QWidget*> kids;
        for (QObject* o : frame->children())
            if (auto* k = qobject_cast<QWidget*>(o);
                k && !k->isHidden() && !k->objectName().isEmpty() && !k->inherits("QGroupBox"))
                kids.append(k);
        for (QWidget* k : kids) {
            EXPECT_TRUE(frame->rect().contains(k->geometry())) << k->objectName().toStdString();
            for (QWidget* o : kids)
                if (k < o) {
                    EXPECT_FALSE(k->geometry().intersects(o->geometry()))
                        << k->objectName().toStdString() << " / " << o->objectName().toStdString();
                }
        }
    }
}

TEST_F(WindowTest, FirstActivationSelectsTheNumberCategoryOnce) {
    activate(*w);
    EXPECT_EQ(w->lesson().session().FirstShow, 0);
    EXPECT_TRUE(find<QRadioButton>("OptFl(1)")->isChecked());
    {
        const QSignalBlocker quiet(find<QRadioButton>("OptFl(2)"));
        find<QRadioButton>("OptFl(2)")->setChecked(true);
    }
    activate(*w); // after a dialog or a switch of applications
    EXPECT_TRUE(find<QRadioButton>("OptFl(2)")->isChecked());
}

TEST_F(WindowTest, ShowingTheWindowRunsTheFirstActivation) {
    showWindow();
    EXPECT_TRUE(find<QRadioButton>("OptFl(1)")->isChecked());
}

namespace {

class FakeExcel : public workbook::Application {
public:
    explicit FakeExcel(int* quits, bool refuse) : quits_(quits), refuse_(refuse) {}
    int workbookCount() const override { return 0; }
    workbook::Workbook& workbook(int) override { throw std::runtime_error("none"); }
    workbook::Workbook& open(const std::string&) override { throw std::runtime_error("none"); }
    void setVisible(bool) override {}
    void quit() override {
        ++*quits_;
        if (refuse_)
            throw std::runtime_error("refused");
    }

private:
    int* quits_;
    bool refuse_;
};

} // namespace

TEST_F(WindowTest, ClosingWithoutARollBookTouchesNoSpreadsheet) {
    showWindow();
    EXPECT_TRUE(w->close());
    EXPECT_EQ(w->lesson().session().ExcelApp, nullptr);
    EXPECT_EQ(w->lesson().session().ExcelBook, nullptr);
}

TEST_F(WindowTest, ClosingQuitsTheSpreadsheetEvenWhenItRefuses) {
    for (bool refuse : {false, true}) {
        int quits = 0;
        w->lesson().UseSpreadsheetEngine(std::make_unique<FakeExcel>(&quits, refuse));
        showWindow();
        EXPECT_TRUE(w->close());
        EXPECT_EQ(quits, 1);
        EXPECT_EQ(w->lesson().session().ExcelApp, nullptr);
        EXPECT_EQ(w->lesson().session().ExcelBook, nullptr);
    }
}
