// The classroom clock and the numeric entry boxes.
#include "clock/ClockMath.h"
#include "shell/FrmMd.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QValidator>
#include <cmath>

namespace rostrel {

namespace {

const QString kIdle = QStringLiteral("计时");    // state word: idle
const QString kRunning = QStringLiteral("暂停"); // state word: running

// Key and focus events of one Combo1 box, handed to the window's handlers. Watches the combo
// box, which holds the focus and hands keys to its line edit without passing them through
// event filters, and the line edit itself for events sent to it directly.
class EntryFilter : public QObject {
public:
    EntryFilter(FrmMd* window, int index, QObject* parent) : QObject(parent), window_(window), index_(index) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        // The box loses the focus also while the window is being destroyed; the window's
        // handlers are gone by then.
        FrmMd* window = qobject_cast<FrmMd*>(window_);
        if (!window)
            return QObject::eventFilter(watched, event);
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const QString text = key->text();
            // Enter in a box runs the same step as leaving it.
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                window->Combo1_LostFocus(index_);
                return true;
            }
            if (key->key() == Qt::Key_Backspace)
                return window->Combo1_KeyPress(index_, 8) == 0;
            // Keys that type a character go through the filter; others (arrows, Delete,
            // Tab, Enter, shortcuts) keep their usual meaning.
            if (text.size() == 1 && text[0].isPrint() && !(key->modifiers() & Qt::ControlModifier))
                return window->Combo1_KeyPress(index_, text[0].unicode()) == 0;
        } else if (event->type() == QEvent::FocusOut) {
            // Opening the box's own list takes the focus for a moment; that is no leaving.
            if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
                window->Combo1_LostFocus(index_);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QObject* window_;
    int index_;
};

// Text that reaches a box other than by typed keys (paste, drag and drop) keeps only the
// characters a key may type.
class EntryValidator : public QValidator {
public:
    explicit EntryValidator(QObject* parent) : QValidator(parent) {}

    State validate(QString& input, int& pos) const override {
        QString kept;
        kept.reserve(input.size());
        int keptPos = 0;
        for (qsizetype i = 0; i < input.size(); ++i) {
            if (clock::entryKeyAllowed(input[i].unicode()) && input[i] != QChar(8)) {
                kept.append(input[i]);
                if (i < pos)
                    ++keptPos;
            }
        }
        if (kept.size() != input.size()) {
            input = kept;
            pos = keptPos;
        }
        return Acceptable;
    }
};

// The clock image shows the picture of `holder` (idle or running), or the state word when the
// pictures are missing.
void showState(ClickLabel* image, const QLabel* holder, const QString& word) {
    image->setProperty("Tag", word);
    image->setToolTipAndName(word);
    if (holder->pixmap().isNull())
        image->setText(word);
    else
        image->setPixmap(holder->pixmap());
}

} // namespace

void FrmMd::wireClock() {
    connect(ui.imgJs, &ClickLabel::clicked, this, [this] { imgJs_Click(); });
    connect(ui.lblSj, &ClickLabel::clicked, this, [this] { lblSj_Click(); });
    connect(ui.timJs, &QTimer::timeout, this, [this] { timJs_Timer(); });
    for (int i = 0; i < 3; ++i)
        connect(ui.MnJs[i], &QAction::triggered, this, [this, i] {
            if (i == 0) // the handler itself toggles the mark; undo the toggle of the trigger
                ui.MnJs[0]->setChecked(!ui.MnJs[0]->isChecked());
            MnJs_Click(i);
        });
    for (int i = 0; i < 4; ++i)
        connect(ui.Command1[i], &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
    for (int i = 0; i < 2; ++i) {
        QComboBox* box = ui.Combo1[i];
        box->setInsertPolicy(QComboBox::NoInsert);
        // The list's entries must not complete what is typed ("-" would read "-1").
        box->setCompleter(nullptr);
        box->setValidator(new EntryValidator(box));
        // Typed text goes through the key filter; an input method would bypass it.
        box->lineEdit()->setAttribute(Qt::WA_InputMethodEnabled, false);
        auto* filter = new EntryFilter(this, i, box);
        box->installEventFilter(filter);
        box->lineEdit()->installEventFilter(filter);
    }
}

void FrmMd::SetClockIdle() {
    showState(ui.imgJs, ui.Image3, kIdle);
}

void FrmMd::imgJs_Click() {
    const bool running = ui.imgJs->property("Tag").toString() == kRunning;
    if (!running) {
        // Start: the run length from the amount and the unit, counted from now.
        const double seconds = clock::amountSeconds(ui.Combo1[1]->currentText(), ui.cmbJsDw->currentText());
        st.ClockDuration = static_cast<double>(clock::runSeconds(seconds)) / clock::kSecondsPerDay;
        st.ClockStart = clock::dayCount(platform.clock ? platform.clock->now() : QDateTime::currentDateTime());
        ui.timJs->start();
        showState(ui.imgJs, ui.Image4, kRunning);
    } else {
        ui.timJs->stop();
        SetClockIdle();
    }
    PlayWave(QStringLiteral("sound\\start.wav"));
}

void FrmMd::lblSj_Click() {
    imgJs_Click();
}

void FrmMd::timJs_Timer() {
    if (!ui.timJs->isActive())
        return; // a tick that was already due when the clock stopped
    const double now = clock::dayCount(platform.clock ? platform.clock->now() : QDateTime::currentDateTime());
    const long long duration = std::llround(st.ClockDuration * clock::kSecondsPerDay);
    const clock::Tick t = clock::tick(duration, clock::secondsBetween(st.ClockStart, now));
    if (t.ended) {
        ui.timJs->stop();
        if (ui.imgJs->property("Tag").toString() == kRunning)
            imgJs_Click(); // the stop, with its cue
        PlayWave(QStringLiteral("sound\\over.wav"));
    }
    const QString mode = ui.cmbJsFs->currentText();
    if (mode == u"正计时")
        ui.lblSj->setText(clock::hms(t.ended ? duration : t.elapsed));
    else if (mode == u"倒计时")
        ui.lblSj->setText(clock::hms(t.remaining));
}

void FrmMd::MnJs_Click(int index) {
    switch (index) {
    case 0:
        ui.MnJs[0]->setChecked(!ui.MnJs[0]->isChecked());
        ui.fraJs->setVisible(ui.MnJs[0]->isChecked());
        break;
    case 1:
        ui.cmbJsFs->setCurrentIndex(1);
        break;
    case 2:
        ui.cmbJsFs->setCurrentIndex(0);
        break;
    default:
        break;
    }
}

int FrmMd::Combo1_KeyPress(int, int keyAscii) {
    return clock::entryKeyAllowed(keyAscii) ? keyAscii : 0;
}

void FrmMd::Combo1_LostFocus(int index) {
    QComboBox* box = ui.Combo1[index];
    const QString text = clock::normalisedEntry(box->currentText());
    if (text != box->currentText())
        box->setEditText(text);
}

void FrmMd::Command1_Click(int index) {
    QComboBox* box = ui.Combo1[index > 1 ? 1 : 0];
    if (const auto text = clock::steppedEntry(box->currentText(), index % 2 == 0 ? 1 : -1))
        box->setEditText(*text);
}

} // namespace rostrel
