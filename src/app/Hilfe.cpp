#include "app/Hilfe.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QTextBrowser>
#include <QWhatsThis>
#include <QWidget>

THilfe::THilfe(QString helpFile, QWidget* window)
    : QObject(window), m_file(std::move(helpFile)), m_window(window) {
    // F1 and the "What's This?" clicks of any of the window's controls come here.
    qApp->installEventFilter(this);
    // Few window managers draw a "?" in the title bar; Shift+F1 works everywhere.
    QAction* whatsThis = QWhatsThis::createAction(window);
    whatsThis->setObjectName(QStringLiteral("WasIstDas"));
    window->addAction(whatsThis);
}

int THilfe::ContextOf(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        const QVariant v = w->property("helpContext");
        if (v.isValid())
            return v.toInt();
        if (w->isWindow())
            break;
    }
    return 0;
}

void THilfe::SetContext(QWidget* widget, int context) {
    widget->setProperty("helpContext", context);
}

void THilfe::ShowContents() {
    if (!m_browser) {
        m_browser = new QTextBrowser();
        m_browser->setAttribute(Qt::WA_DeleteOnClose);
        m_browser->setObjectName(QStringLiteral("HilfeFenster"));
        m_browser->setWindowTitle(QStringLiteral("WinVarno-Hilfe"));
        m_browser->setWindowIcon(m_window->windowIcon());
        m_browser->resize(560, 480);
        connect(m_window, &QObject::destroyed, m_browser.data(), &QObject::deleteLater);
    }
    const QString html = m_file.document();
    if (html.isEmpty())
        m_browser->setHtml(QStringLiteral("<p>Die Hilfedatei %1 wurde nicht gefunden.</p>")
                               .arg(m_file.path().toHtmlEscaped()));
    else
        m_browser->setHtml(html);
    m_browser->show();
    m_browser->raise();
    m_browser->activateWindow();
}

void THilfe::ShowContext(int context, const QPoint& globalPos) {
    const QString topic = m_file.topic(context);
    if (topic.isEmpty())
        return;
    m_lastPopup = topic;
    QWhatsThis::showText(globalPos, topic, m_window);
}

bool THilfe::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != m_window)
        return false;
    switch (event->type()) {
    case QEvent::QueryWhatsThis:
        // Lets the "What's This?" cursor show that help exists here.
        if (ContextOf(widget) != 0) {
            event->accept();
            return true;
        }
        return false;
    case QEvent::WhatsThis: {
        const int context = ContextOf(widget);
        if (context == 0)
            return false;
        ShowContext(context, static_cast<QHelpEvent*>(event)->globalPos());
        return true;
    }
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier)
            return false;
        const int context = ContextOf(widget);
        if (context != 0)
            ShowContext(context, widget->mapToGlobal(widget->rect().center()));
        return true;
    }
    default:
        return false;
    }
}
