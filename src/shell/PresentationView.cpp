#include "shell/PresentationView.h"

#include "shell/Theme.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace rostrel {

namespace {

constexpr int kProbeSize = 200; // metrics are taken at this size and scaled

// The widest text the clock shows, so its size does not jump from one second to the next.
const QStringList kClockProbe{QStringLiteral("00:00:00")};

} // namespace

int fittingPixelSize(const QFont& font, const QStringList& lines, const QSizeF& room) {
    QFont probe = font;
    probe.setPixelSize(kProbeSize);
    const QFontMetricsF fm(probe);
    qreal width = 0;
    for (const QString& line : lines)
        width = std::max(width, fm.horizontalAdvance(line));
    const qreal height = fm.height() * std::max<qsizetype>(1, lines.size());
    qreal scale = room.height() / height;
    if (width > 0)
        scale = std::min(scale, room.width() / width);
    return std::max(1, static_cast<int>(kProbeSize * scale));
}

PresentationView::PresentationView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fraQp"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    pickFont_.setBold(true);
    clockFont_.setBold(true);
}

void PresentationView::setPick(const QString& text) {
    QStringList lines = text.split(QStringLiteral("\r\n"));
    // A form that puts the pick on the second line leaves the first empty: no gap on screen.
    lines.removeIf([](const QString& l) { return l.trimmed().isEmpty(); });
    if (lines == pickLines_)
        return;
    // Only the old and the new text are repainted: at 3840x2160 the whole pick area costs a
    // rolling tick twice as much.
    const QRect before = pickBounds();
    pickLines_ = lines;
    update(before.united(pickBounds()));
}

void PresentationView::setCaption(const QString& text) {
    if (text == caption_)
        return;
    caption_ = text;
    update(captionRect().toAlignedRect());
}

void PresentationView::setClock(const clock::ClockFace& face) {
    if (face == face_)
        return;
    face_ = face;
    update(clockRect().toAlignedRect());
}

void PresentationView::setBlank(bool blank) {
    if (blank == blank_)
        return;
    blank_ = blank;
    update();
}

void PresentationView::setFonts(const QFont& pickFont, const QFont& clockFont) {
    pickFont_ = pickFont;
    pickFont_.setBold(true);
    clockFont_ = clockFont;
    clockFont_.setBold(true);
    update();
}

QRectF PresentationView::captionRect() const {
    return {width() * 0.05, height() * 0.03, width() * 0.9, height() * 0.08};
}

QRectF PresentationView::pickRect() const {
    return {width() * 0.04, height() * 0.12, width() * 0.92, height() * 0.56};
}

QRectF PresentationView::clockRect() const {
    return {width() * 0.15, height() * 0.72, width() * 0.7, height() * 0.24};
}

QRect PresentationView::pickBounds() const {
    if (pickLines_.isEmpty())
        return {};
    QFont f = pickFont_;
    f.setPixelSize(pickPixelSize());
    const QFontMetricsF fm(f);
    qreal w = 0;
    for (const QString& line : pickLines_)
        w = std::max(w, fm.boundingRect(line).width());
    const QRectF room = pickRect();
    const qreal h = fm.height() * static_cast<qreal>(pickLines_.size());
    const QRectF text(room.center().x() - w / 2, room.center().y() - h / 2, w, h);
    // A margin for glyphs that reach past their advance (italic strokes, antialiasing).
    const qreal m = fm.height() * 0.1;
    return text.adjusted(-m, -m, m, m).toAlignedRect().intersected(room.toAlignedRect());
}

int PresentationView::pickPixelSize() const {
    return fittingPixelSize(pickFont_, pickLines_, pickRect().size());
}

int PresentationView::clockPixelSize() const {
    return fittingPixelSize(clockFont_, kClockProbe, clockRect().size());
}

QColor PresentationView::ground() {
    return QColor(0x10, 0x14, 0x1A);
}

QColor PresentationView::clockColour() const {
    switch (face_.tone) {
    case clock::ClockTone::Warning:
        return theme::warningColour(ground());
    case clock::ClockTone::Ended:
        return theme::endedColour(ground());
    case clock::ClockTone::Normal:
        break;
    }
    return QColor(0xCF, 0xD8, 0xDC);
}

void PresentationView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    if (blank_) {
        p.fillRect(event->rect(), Qt::black);
        return;
    }
    p.fillRect(event->rect(), ground());
    p.setRenderHint(QPainter::TextAntialiasing);

    if (!caption_.isEmpty() && event->rect().intersects(captionRect().toAlignedRect())) {
        QFont f = clockFont_;
        f.setBold(false);
        f.setPixelSize(fittingPixelSize(f, {caption_}, captionRect().size()));
        p.setFont(f);
        p.setPen(QColor(0x90, 0xA4, 0xAE));
        p.drawText(captionRect(), Qt::AlignCenter, caption_);
    }
    if (!pickLines_.isEmpty() && event->rect().intersects(pickRect().toAlignedRect())) {
        QFont f = pickFont_;
        f.setPixelSize(pickPixelSize());
        p.setFont(f);
        p.setPen(Qt::white);
        const QRectF room = pickRect();
        const qreal lineHeight = QFontMetricsF(f).height();
        qreal y = room.center().y() - lineHeight * static_cast<qreal>(pickLines_.size()) / 2;
        for (const QString& line : pickLines_) {
            p.drawText(QRectF(room.left(), y, room.width(), lineHeight), Qt::AlignCenter, line);
            y += lineHeight;
        }
    }
    if (face_.lit && event->rect().intersects(clockRect().toAlignedRect())) {
        QFont f = clockFont_;
        f.setPixelSize(clockPixelSize());
        p.setFont(f);
        p.setPen(clockColour());
        p.drawText(clockRect(), Qt::AlignCenter, face_.text);
    }
}

void PresentationView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
    QWidget::mouseReleaseEvent(event);
}

} // namespace rostrel
