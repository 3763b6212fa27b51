#pragma once

#include <QWidget>
#include <functional>
#include <vector>

// A status bar of fixed panels without a size grip. Panels flagged owner-drawn
// are painted by the draw handler; the others show their text.
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
    QString panelText(int index) const;
    void setPanelText(int index, const QString& text);
    QRect panelRect(int index) const;
    void setDrawHandler(DrawHandler handler) { m_draw = std::move(handler); }

signals:
    // A left click released over a panel.
    void panelClicked(int panel);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::vector<Panel> m_panels;
    DrawHandler m_draw;
};
