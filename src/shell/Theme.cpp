#include "shell/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace rostrel::theme {

namespace {

QColor blend(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

double luminance(const QColor& c) {
    auto lin = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
}

// The first of `candidates` that reaches a contrast of 4.5 on `back`, else the best one.
QColor readableOn(const QColor& back, std::initializer_list<QColor> candidates) {
    QColor best;
    double bestRatio = 0;
    for (const QColor& c : candidates) {
        const double r = contrast(c, back);
        if (r >= 4.5)
            return c;
        if (r > bestRatio) {
            bestRatio = r;
            best = c;
        }
    }
    return best;
}

} // namespace

bool isDark(const QPalette& p) {
    return p.color(QPalette::WindowText).lightness() > p.color(QPalette::Window).lightness();
}

QColor editingBack(const QPalette& p) {
    if (!isDark(p))
        return QColor(0xFF, 0xFF, 0xFF);
    // A step lighter than the dark base: the box being typed into stands out.
    return blend(p.color(QPalette::Base), p.color(QPalette::Text), 0.16);
}

QColor restingBack(const QPalette& p) {
    if (!isDark(p))
        return QColor(0xE0, 0xE0, 0xE0);
    return blend(p.color(QPalette::Base), QColor(Qt::black), 0.25);
}

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor warningColour(const QColor& back) {
    return readableOn(
        back, {QColor(0xB2, 0x6A, 0x00), QColor(0xFF, 0xB3, 0x00), QColor(0x7A, 0x48, 0x00), QColor(0xFF, 0xD5, 0x4F)});
}

QColor endedColour(const QColor& back) {
    return readableOn(
        back, {QColor(0xC6, 0x28, 0x28), QColor(0xFF, 0x6E, 0x6E), QColor(0x8E, 0x00, 0x00), QColor(0xFF, 0xAB, 0xAB)});
}

QPixmap visibleIcon(const QPixmap& picture, const QPalette& palette) {
    if (picture.isNull() || !isDark(palette))
        return picture;
    QPixmap out(picture.size());
    out.setDevicePixelRatio(picture.devicePixelRatio());
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(QPointF(0, 0), picture.deviceIndependentSize());
    const double radius = std::min(r.width(), r.height()) * 0.18;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xE8, 0xE8, 0xE8));
    p.drawRoundedRect(r, radius, radius);
    p.drawPixmap(r.topLeft(), picture);
    return out;
}

QRect fittedGeometry(QSize wanted, QSize minimum, const QRect& available, const QMargins& frame) {
    const int roomW = std::max(1, available.width() - frame.left() - frame.right());
    const int roomH = std::max(1, available.height() - frame.top() - frame.bottom());
    int w = std::min(std::max(wanted.width(), minimum.width()), roomW);
    int h = std::min(std::max(wanted.height(), minimum.height()), roomH);
    w = std::max(w, 1);
    h = std::max(h, 1);
    const int x = available.x() + frame.left() + (roomW - w) / 2;
    const int y = available.y() + frame.top() + (roomH - h) / 2;
    return {x, y, w, h};
}

} // namespace rostrel::theme
