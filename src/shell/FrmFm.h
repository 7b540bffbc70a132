// The splash window: product name, logo and the maker's lines for four ticks of its 500 ms
// timer, or until it is clicked; then it opens the main window once and closes.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

namespace rostrel {

class FrmFm : public QWidget {
    Q_OBJECT
public:
    // `openMain` shows the main window; it is called at most once.
    explicit FrmFm(std::function<void()> openMain, QWidget* parent = nullptr);

    void Timer1_Timer();
    void Form_Click();

    int16_t ticks() const { return ticks_; }
    // The teacher ticked "下次启动不显示": the next start goes straight to the main window.
    bool skipNextTime() const { return chkBxs->isChecked(); }

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    std::array<QLabel*, 3> Label2{};
    QTimer* Timer1 = nullptr;
    QCheckBox* chkBxs = nullptr; // "下次启动不显示"

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Form_Load();
    void openMainOnce();

    std::function<void()> openMain_;
    int16_t ticks_ = 0;
    bool opened_ = false;
};

} // namespace rostrel
