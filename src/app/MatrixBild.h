#pragma once

#include <QImage>
#include <QWidget>

// A 16 × 16 image control with a canvas of its own. Each one holds its own copy
// of the template picture, so drawing into one never changes another.
class TMatrixBild : public QWidget {
    Q_OBJECT
public:
    explicit TMatrixBild(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    QImage& canvas() { return m_picture; }
    const QImage& picture() const { return m_picture; }
    // Call after drawing into canvas().
    void changed() { update(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
    QImage m_shown; // the picture at the screen's pixel ratio
    qint64 m_shownKey = 0;
};
