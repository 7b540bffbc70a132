#include "shell/HelpOverlay.h"

#include "shell/PresenterKeys.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>

namespace rostrel {

namespace {
const QString kTitle = QStringLiteral("按键帮助");
const QString kClose = QStringLiteral("按 F1、Esc 或单击关闭");
} // namespace

HelpOverlay::HelpOverlay(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fraAj"));
    setAccessibleName(kTitle);
    parent->installEventFilter(this);
    setGeometry(parent->rect());
    hide();
}

QString HelpOverlay::text() const {
    QStringList lines{kTitle};
    for (const KeyHelp& k : presenterKeyHelp())
        lines.append(k.keys + QStringLiteral(" — ") + k.action);
    lines.append(kClose);
    return lines.join(u'\n');
}

bool HelpOverlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void HelpOverlay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(0, 0, 0, 170));

    const QList<KeyHelp> rows = presenterKeyHelp();
    const int lines = static_cast<int>(rows.size()) + 3; // title, a gap, the rows, the close line
    // One line is a fraction of the height, limited by the width the longest row needs.
    QFont body = font();
    body.setPixelSize(std::max(10, std::min(height() / (lines * 2), width() / 40)));
    const QFontMetricsF fm(body);
    qreal keysW = 0, actionW = 0;
    for (const KeyHelp& k : rows) {
        keysW = std::max(keysW, fm.horizontalAdvance(k.keys));
        actionW = std::max(actionW, fm.horizontalAdvance(k.action));
    }
    const qreal gap = fm.height();
    const qreal lineH = fm.height() * 1.4;
    const QSizeF panel(keysW + actionW + 3 * gap, lineH * lines + gap);
    const QRectF box(QPointF((width() - panel.width()) / 2, (height() - panel.height()) / 2), panel);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x26, 0x32, 0x38, 240));
    p.drawRoundedRect(box, gap / 2, gap / 2);

    qreal y = box.top() + gap / 2;
    QFont title = body;
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(box.left(), y, box.width(), lineH), Qt::AlignCenter, kTitle);
    y += 2 * lineH;
    for (const KeyHelp& k : rows) {
        p.setFont(title);
        p.setPen(QColor(0xFF, 0xD5, 0x4F));
        p.drawText(QRectF(box.left() + gap, y, keysW, lineH), Qt::AlignVCenter | Qt::AlignLeft, k.keys);
        p.setFont(body);
        p.setPen(Qt::white);
        p.drawText(QRectF(box.left() + 2 * gap + keysW, y, actionW, lineH), Qt::AlignVCenter | Qt::AlignLeft, k.action);
        y += lineH;
    }
    p.setPen(QColor(0xB0, 0xBE, 0xC5));
    p.drawText(QRectF(box.left(), y, box.width(), lineH), Qt::AlignCenter, kClose);
}

void HelpOverlay::showEvent(QShowEvent* event) {
    setGeometry(parentWidget()->rect());
    raise();
    QWidget::showEvent(event);
}

void HelpOverlay::mouseReleaseEvent(QMouseEvent*) {
    hide();
}

} // namespace rostrel
