#pragma once

#include <QLineEdit>

// The time-of-day field "!90:00;0; ": an optional and a required hour digit, a
// colon, two required minute digits. Its time text is the digits without the
// colon, a missing optional hour digit standing as a leading blank ("9999",
// " 930").
class TZeitEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TZeitEdit(QWidget* parent = nullptr);

    QString zeitText() const;
    void setZeitText(const QString& digits);
    // All required places filled.
    bool istVollstaendig() const;
};
