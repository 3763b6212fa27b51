#pragma once

#include <QLineEdit>
#include <functional>

// The time-of-day field "!90:00;0; ": an optional and a required hour digit, a
// colon, two required minute digits. Its time text is the digits without the
// colon, a missing optional hour digit standing as a leading blank ("9999",
// " 930").
//
// A changed field with a required digit missing refuses to be left: it beeps,
// tells the user, and keeps the focus; Esc brings back the text it had when it
// got the focus.
class TZeitEdit : public QLineEdit {
    Q_OBJECT
public:
    static const QString kFehlertext;

    explicit TZeitEdit(QWidget* parent = nullptr);

    QString zeitText() const;
    void setZeitText(const QString& digits);
    // All required places filled.
    bool istVollstaendig() const;
    // False while the field holds a changed, incomplete time.
    bool mayLeave() const { return !isModified() || istVollstaendig(); }

    // Shows the refusal; by default a message box.
    std::function<void(const QString&)> OnEingabeFehler;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_beimBetreten;
};
