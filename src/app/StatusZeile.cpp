#include "app/StatusZeile.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>

namespace {

// A panel as assistive technology sees it; it has no widget of its own.
class TStatusPanel : public QObject {
    Q_OBJECT
public:
    TStatusPanel(TStatusZeile* bar, int index) : QObject(bar), m_index(index) {}
    TStatusZeile* bar() const { return static_cast<TStatusZeile*>(parent()); }
    int index() const { return m_index; }

private:
    int m_index;
};

class TStatusZeileAccessible : public QAccessibleWidget {
public:
    explicit TStatusZeileAccessible(TStatusZeile* bar)
        : QAccessibleWidget(bar, QAccessible::StatusBar) {}

    int childCount() const override { return bar()->panelCount(); }
    QAccessibleInterface* child(int index) const override {
        QObject* panel = bar()->panelObject(index);
        return panel ? QAccessible::queryAccessibleInterface(panel) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        auto* panel = child ? qobject_cast<TStatusPanel*>(child->object()) : nullptr;
        return panel && panel->bar() == bar() ? panel->index() : -1;
    }
    QString text(QAccessible::Text t) const override {
        // The description and help stay the widget's own (its tool tip).
        return t == QAccessible::Name ? bar()->spokenText(0) : QAccessibleWidget::text(t);
    }

private:
    TStatusZeile* bar() const { return static_cast<TStatusZeile*>(widget()); }
};

class TStatusPanelAccessible : public QAccessibleObject {
public:
    explicit TStatusPanelAccessible(TStatusPanel* panel) : QAccessibleObject(panel) {}

    QWindow* window() const override { return bar()->window()->windowHandle(); }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(bar());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? bar()->spokenText(panel()->index()) : QString();
    }
    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.readOnly = true;
        s.invisible = !bar()->isVisible();
        return s;
    }
    QRect rect() const override {
        const QRect r = bar()->panelRect(panel()->index());
        return QRect(bar()->mapToGlobal(r.topLeft()), r.size());
    }

private:
    TStatusPanel* panel() const { return static_cast<TStatusPanel*>(object()); }
    TStatusZeile* bar() const { return panel()->bar(); }
};

QAccessibleInterface* AccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("TStatusZeile"))
        return new TStatusZeileAccessible(static_cast<TStatusZeile*>(object));
    if (className == QLatin1String("TStatusPanel"))
        return new TStatusPanelAccessible(static_cast<TStatusPanel*>(object));
    return nullptr;
}

void Announce(QObject* object) {
    QAccessibleEvent event(object, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

} // namespace

TStatusZeile::TStatusZeile(QWidget* parent) : QWidget(parent) {
    static const bool factoryInstalled = (QAccessible::installFactory(AccessibleFactory), true);
    Q_UNUSED(factoryInstalled);
}

void TStatusZeile::addPanel(Panel panel) {
    m_spoken.push_back(panel.text);
    m_panelObjects.push_back(new TStatusPanel(this, panelCount()));
    m_panels.push_back(std::move(panel));
    update();
}

QString TStatusZeile::panelText(int index) const {
    return index >= 0 && index < panelCount() ? m_panels[index].text : QString();
}

QString TStatusZeile::spokenText(int index) const {
    return index >= 0 && index < panelCount() ? m_spoken[index] : QString();
}

QObject* TStatusZeile::panelObject(int index) const {
    return index >= 0 && index < panelCount() ? m_panelObjects[index] : nullptr;
}

void TStatusZeile::setPanelText(int index, const QString& text, const QString& spoken) {
    if (index < 0 || index >= panelCount())
        return;
    if (m_panels[index].text != text) {
        m_panels[index].text = text;
        update(panelRect(index));
    }
    if (m_spoken[index] == spoken)
        return;
    m_spoken[index] = spoken;
    Announce(m_panelObjects[index]);
    if (index == 0)
        Announce(this);
}

QRect TStatusZeile::panelRect(int index) const {
    int x = 0;
    for (int i = 0; i < index && i < panelCount(); ++i)
        x += m_panels[i].width + 2;
    const int w = index < panelCount() ? m_panels[index].width : 0;
    // Inside the sunken frame of the panel.
    return QRect(x + 1, 3, w - 2, height() - 4);
}

void TStatusZeile::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette pal = palette();
    p.fillRect(rect(), pal.window());
    for (int i = 0; i < panelCount(); ++i) {
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

#include "StatusZeile.moc"
