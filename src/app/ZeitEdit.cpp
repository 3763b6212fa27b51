#include "app/ZeitEdit.h"

TZeitEdit::TZeitEdit(QWidget* parent) : QLineEdit(parent) {
    // Qt's mask letters: 0 = optional digit, 9 = required digit.
    setInputMask(QStringLiteral("09:99; "));
    setZeitText(QStringLiteral("9999"));
}

QString TZeitEdit::zeitText() const {
    QString shown = displayText();
    shown.remove(u':');
    return shown.left(4);
}

void TZeitEdit::setZeitText(const QString& digits) {
    QString d = digits.left(4);
    while (d.size() < 4)
        d.prepend(u' ');
    setText(d.left(2) + u':' + d.mid(2));
}

bool TZeitEdit::istVollstaendig() const {
    return hasAcceptableInput();
}
