// The fullscreen presentation view: the pick (name, number, seat, with its group as the
// presentation form has it) and the clock fill the screen, on a dark ground that projectors
// show well. Text is sized from the view's own size at every paint, in logical pixels drawn
// straight to the screen, so it fits any projector and stays sharp at any scale factor.
#pragma once

#include "clock/ClassroomClock.h"

#include <QFont>
#include <QStringList>
#include <QWidget>

namespace rostrel {

class PresentationView : public QWidget {
    Q_OBJECT
public:
    explicit PresentationView(QWidget* parent = nullptr);

    // The pick as the name label shows it: lines separated by CR LF.
    void setPick(const QString& text);
    // A small line above the pick (the group summary); "" for none.
    void setCaption(const QString& text);
    void setClock(const clock::ClockFace& face);
    // The blank screen of a presenter remote: nothing drawn but black.
    void setBlank(bool blank);
    bool blank() const { return blank_; }
    // Families of the pick and the clock (the window's own fonts).
    void setFonts(const QFont& pickFont, const QFont& clockFont);

    QString pick() const { return pickLines_.join(QStringLiteral("\r\n")); }
    const clock::ClockFace& clockFace() const { return face_; }
    // Pixel sizes of the text at the view's current size.
    int pickPixelSize() const;
    int clockPixelSize() const;

    // Colours of the view.
    static QColor ground();
    QColor clockColour() const;

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRectF pickRect() const;
    QRectF clockRect() const;
    QRectF captionRect() const;
    // Where the pick's lines are drawn at the current size (what a new pick must repaint).
    QRect pickBounds() const;

    QStringList pickLines_;
    QString caption_;
    clock::ClockFace face_{clock::kIdleFace};
    bool blank_ = false;
    QFont pickFont_;
    QFont clockFont_;
};

// The largest pixel size at which `lines` of `font` fit in `room` (at least 1).
int fittingPixelSize(const QFont& font, const QStringList& lines, const QSizeF& room);

} // namespace rostrel
