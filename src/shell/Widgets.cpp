#include "shell/Widgets.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace rostrel {

ClickLabel::ClickLabel(QWidget* parent) : QLabel(parent) {}

void ClickLabel::makeKeyboardButton() {
    // Reached with Tab, but a click leaves the focus where it is: a text box being edited is
    // not left (and checked) by a click on the image that acts on its value.
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

void ClickLabel::setToolTipAndName(const QString& tip) {
    setToolTip(tip);
    setAccessibleName(tip);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && isEnabled())
        Q_EMIT clicked();
}

void ClickLabel::keyPressEvent(QKeyEvent* event) {
    if (focusPolicy() != Qt::NoFocus &&
        (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space)) {
        Q_EMIT clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

NameLabel::NameLabel(QWidget* parent) : ClickLabel(parent) {}

namespace {

QStringList nameLines(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(u'\r', u'\n');
    return t.split(u'\n');
}

// Line step of the big label: one em and a little, tighter than the font's own line
// spacing, since the CJK stand-in fonts carry a large leading.
double lineStep(const QFont& font, const QPaintDevice* device) {
    const QFontMetricsF fm(font, device);
    return std::min(fm.height(), fm.ascent() * 1.25);
}

} // namespace

double NameLabel::fitScale(QSize size) const {
    const QStringList lines = nameLines(text());
    const QFontMetricsF fm(font(), this);
    double width = 0;
    for (const QString& l : lines)
        width = std::max(width, fm.horizontalAdvance(l));
    const double height = lineStep(font(), this) * lines.size();
    double s = 1.0;
    if (width > size.width())
        s = std::min(s, size.width() / width);
    if (height > size.height())
        s = std::min(s, size.height() / height);
    return s > 0 ? s : 1.0;
}

void NameLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = contentsRect();
    const QStringList lines = nameLines(text());
    drawnScale_ = fitScale(r.size());
    p.setFont(font());
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const double step = lineStep(font(), this);
    const double blockH = step * lines.size();
    p.translate(r.center().x() + 0.5, r.center().y() + 0.5);
    p.scale(drawnScale_, drawnScale_);
    const double wide = r.width() / drawnScale_ + 2;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QRectF line(-wide / 2, -blockH / 2 + step * static_cast<double>(i), wide, step);
        p.drawText(line, Qt::AlignCenter | Qt::TextDontClip, lines[i]);
    }
}

ListBox::ListBox(QWidget* parent) : QListWidget(parent) {}

void ListBox::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        Q_EMIT mouseUp();
}

void ListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        Q_EMIT doubleClicked();
}

TextBox::TextBox(QWidget* parent) : QLineEdit(parent) {}

namespace {

// The focus moving within the window. A message box or another program taking the activation,
// or a popup opening, is no leaving of the box: its check must not run (again) behind a
// message that is still on show.
bool movesWithinWindow(const QFocusEvent* event) {
    return event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
}

} // namespace

void TextBox::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (movesWithinWindow(event))
        Q_EMIT gotFocus();
}

void TextBox::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (movesWithinWindow(event))
        Q_EMIT lostFocus();
}

void TextBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        Q_EMIT enterPressed();
    QLineEdit::keyPressEvent(event);
}

} // namespace rostrel
