#pragma once

#include <QColor>
#include <QLabel>

namespace app {

// A value label's text in its colour: black as read, red as edited.
inline void SetzeText(QLabel* label, const QString& text, const QColor& colour) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
    label->setText(text);
}

inline void SetBlack(QLabel* label, const QString& text) {
    SetzeText(label, text, Qt::black);
}
inline void SetRed(QLabel* label, const QString& text) {
    SetzeText(label, text, Qt::red);
}

} // namespace app
