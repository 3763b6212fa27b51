#pragma once

#include "platform/HelpFile.h"

#include <QObject>
#include <QPointer>

#include <QTextBrowser>
class QWidget;

// The help viewer: the contents in a help window, single topics as context
// pop-ups. A control's context number is its "helpContext" property; a control
// without one takes its nearest enclosing control's.
class THilfe : public QObject {
    Q_OBJECT
public:
    THilfe(QString helpFile, QWidget* window);

    // The contents page in the help window (opened on first use).
    void ShowContents();
    // The topic of a context number as a pop-up at a global position.
    void ShowContext(int context, const QPoint& globalPos);

    static int ContextOf(const QWidget* widget);
    static void SetContext(QWidget* widget, int context);

    QTextBrowser* helpWindow() const { return m_browser; }
    QString lastPopup() const { return m_lastPopup; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    platform::HelpFile m_file;
    QWidget* m_window;
    QPointer<QTextBrowser> m_browser;
    QString m_lastPopup;
};
