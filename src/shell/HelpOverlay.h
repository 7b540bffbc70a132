// The F1 help: the presenter keys over a dimmed window, sized from the window so it reads
// on a projector too. A click or any key closes it (the window decides which).
#pragma once

#include <QWidget>

namespace rostrel {

class HelpOverlay : public QWidget {
    Q_OBJECT
public:
    // Covers `parent` and follows its size.
    explicit HelpOverlay(QWidget* parent);

    // The text as shown, one "keys — action" line each (for tests and screen readers).
    QString text() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace rostrel
