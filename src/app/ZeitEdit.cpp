#include "app/ZeitEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

const QString TZeitEdit::kFehlertext = QStringLiteral(
    "Ungültiger Eingabewert. Benutzen Sie die ESC-Taste, um die Änderungen rückgängig zu machen.");

TZeitEdit::TZeitEdit(QWidget* parent) : QLineEdit(parent) {
    // Qt's mask letters: 0 = optional digit, 9 = required digit.
    setInputMask(QStringLiteral("09:99; "));
    setZeitText(QStringLiteral("9999"));
    OnEingabeFehler = [this](const QString& text) {
        QMessageBox::critical(window(), window()->windowTitle(), text);
    };
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
    setModified(false);
}

bool TZeitEdit::istVollstaendig() const {
    return hasAcceptableInput();
}

void TZeitEdit::focusInEvent(QFocusEvent* event) {
    if (!isModified())
        m_beimBetreten = text();
    QLineEdit::focusInEvent(event);
}

void TZeitEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (mayLeave())
        return;
    QApplication::beep();
    // After the focus change has finished: take the focus back, then tell why.
    QPointer<TZeitEdit> self(this);
    QTimer::singleShot(0, this, [self] {
        if (!self)
            return;
        self->setFocus(Qt::OtherFocusReason);
        if (self->OnEingabeFehler)
            self->OnEingabeFehler(kFehlertext);
    });
}

void TZeitEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && isModified()) {
        setText(m_beimBetreten);
        setModified(false);
        return;
    }
    QLineEdit::keyPressEvent(event);
}
