#include "app/StatusZeile.h"

#include <QMouseEvent>
#include <QPainter>

TStatusZeile::TStatusZeile(QWidget* parent) : QWidget(parent) {
}

void TStatusZeile::addPanel(Panel panel) {
    m_panels.push_back(std::move(panel));
    update();
}

QString TStatusZeile::panelText(int index) const {
    return index >= 0 && index < static_cast<int>(m_panels.size()) ? m_panels[index].text
                                                                   : QString();
}

void TStatusZeile::setPanelText(int index, const QString& text) {
    if (index < 0 || index >= static_cast<int>(m_panels.size()) || m_panels[index].text == text)
        return;
    m_panels[index].text = text;
    update(panelRect(index));
}

QRect TStatusZeile::panelRect(int index) const {
    int x = 0;
    for (int i = 0; i < index && i < static_cast<int>(m_panels.size()); ++i)
        x += m_panels[i].width + 2;
    const int w = index < static_cast<int>(m_panels.size()) ? m_panels[index].width : 0;
    // Inside the sunken frame of the panel.
    return QRect(x + 1, 3, w - 2, height() - 4);
}

void TStatusZeile::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette pal = palette();
    p.fillRect(rect(), pal.window());
    for (int i = 0; i < static_cast<int>(m_panels.size()); ++i) {
        const QRect inner = panelRect(i);
        const QRect frame = inner.adjusted(-1, -1, 0, 0);
        p.setPen(pal.color(QPalette::Dark));
        p.drawLine(frame.topLeft(), frame.topRight());
        p.drawLine(frame.topLeft(), frame.bottomLeft());
        p.setPen(pal.color(QPalette::Light));
        p.drawLine(frame.bottomLeft(), frame.bottomRight());
        p.drawLine(frame.topRight(), frame.bottomRight());
        p.save();
        p.setClipRect(inner);
        p.setPen(pal.color(QPalette::WindowText));
        if (m_panels[i].ownerDrawn) {
            if (m_draw)
                m_draw(p, i, inner);
        } else {
            p.drawText(inner.adjusted(2, 0, -2, 0), int(m_panels[i].alignment | Qt::AlignVCenter),
                       m_panels[i].text);
        }
        p.restore();
    }
}

void TStatusZeile::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        for (int i = 0; i < static_cast<int>(m_panels.size()); ++i)
            if (panelRect(i).adjusted(-1, -3, 1, 1).contains(event->position().toPoint()))
                emit panelClicked(i);
    QWidget::mouseReleaseEvent(event);
}
