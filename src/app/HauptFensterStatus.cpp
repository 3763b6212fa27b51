// The status line: messages from the catalogue in their colour, and the clock.
#include "app/HauptFormular.h"
#include "app/StatusZeile.h"
#include "catalogue/Catalogue.h"

#include <QCoreApplication>
#include <QPainter>

void THauptFenster::ZeigeMeldung(int nummer, int stufe, const QString& argument) {
    const QString text = catalogue::PanelText(nummer, stufe, argument);
    // Read aloud as drawn: without the severity digit and its colon.
    StatusZeile->setPanelText(0, text, text.mid(2));
    SetzeStatusGrund(QString()); // a reason belongs to the message it came with
    // The caller may go on with a long operation; show the text now.
    QCoreApplication::processEvents();
}

void THauptFenster::Meldung(int nummer, int stufe, const QString& argument) {
    ZeigeMeldung(nummer, stufe, argument);
}

void THauptFenster::MeldungsGrund(const QString& grund) {
    SetzeStatusGrund(grund);
}

void THauptFenster::DateiFehler(int nummer, const QString& pfad, int fehler) {
    ZeigeDateiFehler(nummer, pfad, fehler);
}

void THauptFenster::ZeigeDateiFehler(int nummer, const QString& pfad, int fehler) {
    const QString text =
        QString(QChar(u'0' + stufe::Fehler)) + u':' + catalogue::MitGrund(nummer, pfad, fehler);
    StatusZeile->setPanelText(0, text, text.mid(2));
    SetzeStatusGrund(QString());
    QCoreApplication::processEvents();
}

QString THauptFenster::statusText(int panel) const {
    return StatusZeile->panelText(panel);
}

void THauptFenster::OnStatusPanelDraw(QPainter& painter, int panel, const QRect& rect) {
    if (panel != 0)
        return;
    const QString text = StatusZeile->panelText(0);
    if (text.startsWith(u'0'))
        painter.setPen(Qt::black);
    else if (text.startsWith(u'1'))
        painter.setPen(Qt::blue);
    else if (text.startsWith(u'2'))
        painter.setPen(Qt::red);
    const QFontMetrics fm(painter.font());
    painter.drawText(rect.left() + 5, rect.top() + fm.ascent(), text.mid(2));
}

void THauptFenster::AktualisiereUhrzeit() {
    const QDateTime now = m_env.now ? m_env.now() : QDateTime::currentDateTime();
    StatusZeile->setPanelText(1, now.toString(QStringLiteral("HH:mm:ss")));
}
