// The clock's controls and the numeric entry boxes: forwarded to the lesson, redrawn from it.
#include "clock/ClockMath.h"
#include "shell/FrmMd.h"
#include "shell/Theme.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QSignalBlocker>
#include <QValidator>

namespace rostrel {

namespace {

const QString kIdle = QStringLiteral("计时");    // state word: idle
const QString kRunning = QStringLiteral("暂停"); // state word: running
const QString kPaused = QStringLiteral("继续");  // state word: paused

// Key and focus events of one Combo1 box: only numeric keys type, and Enter or leaving the
// box writes its number in shortest form. Watches the combo box, which holds the focus and
// hands keys to its line edit without passing them through event filters, and the line edit
// itself for events sent to it directly.
class EntryFilter : public QObject {
public:
    EntryFilter(Lesson* lesson, int index, QObject* parent) : QObject(parent), lesson_(lesson), index_(index) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        // The box loses the focus also while the window is being destroyed, after its lesson.
        if (!lesson_)
            return QObject::eventFilter(watched, event);
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const QString text = key->text();
            // Enter in a box runs the same step as leaving it.
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                lesson_->NormaliseEntry(index_);
                return true;
            }
            if (key->key() == Qt::Key_Backspace)
                return !clock::entryKeyAllowed(8);
            // Keys that type a character go through the filter; others (arrows, Delete,
            // Tab, Enter, shortcuts) keep their usual meaning.
            if (text.size() == 1 && text[0].isPrint() && !(key->modifiers() & Qt::ControlModifier))
                return !clock::entryKeyAllowed(text[0].unicode());
        } else if (event->type() == QEvent::FocusOut) {
            // Opening the box's own list takes the focus for a moment; that is no leaving.
            if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
                lesson_->NormaliseEntry(index_);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<Lesson> lesson_;
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
    image->setToolTipAndName(word);
    if (holder->pixmap().isNull())
        image->setText(word);
    else
        image->setPixmap(holder->pixmap());
}

void showEntry(QComboBox* box, const QString& text) {
    if (box->currentText() == text)
        return;
    const QSignalBlocker block(box);
    box->setEditText(text);
}

void followTimer(QTimer* timer, bool on) {
    if (on && !timer->isActive())
        timer->start();
    else if (!on && timer->isActive())
        timer->stop();
}

// The time display's colour: the palette's in a run, a warning colour in the last minute, the
// end colour for "时间到", and the background's in the dark half of the end flash.
void showClockTone(QLabel* label, const clock::ClockFace& face) {
    QPalette p = label->palette();
    const QColor back =
        label->parentWidget() ? label->parentWidget()->palette().color(QPalette::Window) : p.color(QPalette::Window);
    QColor text = QApplication::palette(label).color(QPalette::WindowText);
    if (face.tone == clock::ClockTone::Warning)
        text = theme::warningColour(back);
    else if (face.tone == clock::ClockTone::Ended)
        text = theme::endedColour(back);
    if (!face.lit)
        text = back;
    if (p.color(QPalette::WindowText) != text) {
        p.setColor(QPalette::WindowText, text);
        label->setPalette(p);
    }
}

} // namespace

void FrmMd::wireClock() {
    Lesson* l = &lesson_;
    connect(ui.imgJs, &ClickLabel::clicked, l, &Lesson::StartOrStopClock);
    connect(ui.lblSj, &ClickLabel::clicked, l, &Lesson::StartOrStopClock);
    connect(ui.timJs, &QTimer::timeout, l, &Lesson::ClockTick);
    connect(ui.MnJs[0], &QAction::triggered, this, [this] { ui.fraJs->setVisible(ui.MnJs[0]->isChecked()); });
    connect(ui.MnJs[1], &QAction::triggered, l, [l] { l->SetClockMode(1); });
    connect(ui.MnJs[2], &QAction::triggered, l, [l] { l->SetClockMode(0); });
    connect(ui.cmbJsDw, &QComboBox::currentIndexChanged, l, &Lesson::SetClockUnit);
    connect(ui.cmbJsFs, &QComboBox::currentIndexChanged, l, &Lesson::SetClockMode);
    for (int i = 0; i < 4; ++i)
        connect(ui.Command1[i], &QPushButton::clicked, l, [l, i] { l->StepEntry(i); });
    for (int i = 0; i < 2; ++i) {
        QComboBox* box = ui.Combo1[i];
        box->setInsertPolicy(QComboBox::NoInsert);
        // The list's entries must not complete what is typed ("-" would read "-1").
        box->setCompleter(nullptr);
        box->setValidator(new EntryValidator(box));
        connect(box, &QComboBox::editTextChanged, l, [l, i](const QString& text) { l->SetEntryText(i, text); });
        // Typed text goes through the key filter; an input method would bypass it.
        box->lineEdit()->setAttribute(Qt::WA_InputMethodEnabled, false);
        auto* filter = new EntryFilter(l, i, box);
        box->installEventFilter(filter);
        box->lineEdit()->installEventFilter(filter);
    }
}

void FrmMd::showClock() {
    const bool running = lesson_.clockRunning();
    showState(ui.imgJs, running ? ui.Image4 : ui.Image3, running ? kRunning : lesson_.clockPaused() ? kPaused : kIdle);
    ui.lblSj->setText(lesson_.clockDisplay());
    showClockTone(ui.lblSj, lesson_.clockFace());
    followTimer(ui.timJs, lesson_.clockTicking());
    showEntry(ui.Combo1[1], lesson_.entryText(1));
    const QSignalBlocker b1(ui.cmbJsDw);
    const QSignalBlocker b2(ui.cmbJsFs);
    ui.cmbJsDw->setCurrentIndex(lesson_.clockUnit());
    ui.cmbJsFs->setCurrentIndex(lesson_.clockMode());
}

void FrmMd::showScoreEntry() {
    showEntry(ui.Combo1[0], lesson_.entryText(0));
}

} // namespace rostrel
