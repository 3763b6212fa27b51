#include "app/BezeichnungLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

QString TBezeichnungLabel::shownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

bool TBezeichnungLabel::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        const QString shown = shownText();
        if (shown != text())
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

void TBezeichnungLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    style()->drawItemText(&p, contentsRect(), int(alignment()), palette(), isEnabled(), shownText(),
                          foregroundRole());
}
