#pragma once

#include <QWidget>
#include <functional>
#include <vector>

// A status bar of fixed panels without a size grip. Panels flagged owner-drawn
// are painted by the draw handler; the others show their text.
//
// Assistive technology sees a status bar whose name is the first panel's spoken
// text, with one static-text child per panel. Every change of a spoken text is
// announced, so a screen reader learns of each message and of the clock.
class TStatusZeile : public QWidget {
    Q_OBJECT
public:
    struct Panel {
        int width;
        QString text;
        Qt::Alignment alignment = Qt::AlignLeft;
        bool ownerDrawn = false;
    };
    using DrawHandler = std::function<void(QPainter&, int panel, const QRect& rect)>;

    explicit TStatusZeile(QWidget* parent = nullptr);

    void addPanel(Panel panel);
    int panelCount() const { return static_cast<int>(m_panels.size()); }
    QString panelText(int index) const;
    // The text as stored and what is read aloud of it: an owner-drawn panel may
    // show only part of its text.
    void setPanelText(int index, const QString& text, const QString& spoken);
    void setPanelText(int index, const QString& text) { setPanelText(index, text, text); }
    QString spokenText(int index) const;
    QRect panelRect(int index) const;
    void setDrawHandler(DrawHandler handler) { m_draw = std::move(handler); }
    // The object standing for a panel towards assistive technology.
    QObject* panelObject(int index) const;

signals:
    // A left click released over a panel.
    void panelClicked(int panel);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::vector<Panel> m_panels;
    std::vector<QString> m_spoken;
    std::vector<QObject*> m_panelObjects;
    DrawHandler m_draw;
};
