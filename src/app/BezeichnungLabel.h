#pragma once

#include <QLabel>

// A label for a port's name: a name too long for its place ends in "…" instead of
// being cut off inside a letter, and its tool tip gives the whole name. The text
// itself stays whole (the printout and screen readers take it from there).
class TBezeichnungLabel : public QLabel {
    Q_OBJECT
public:
    explicit TBezeichnungLabel(QWidget* parent = nullptr) : QLabel(parent) {}

    // What the label shows of its text.
    QString shownText() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
