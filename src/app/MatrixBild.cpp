#include "app/MatrixBild.h"

#include "app/MatrixGlyphs.h"

#include <QPainter>

TMatrixBild::TMatrixBild(QWidget* parent) : QWidget(parent) {
    resize(16, 16);
}

void TMatrixBild::setPicture(const QImage& picture) {
    // A deep copy: QImage would otherwise share the template's pixels until written.
    m_picture = picture.copy();
    update();
}

void TMatrixBild::paintEvent(QPaintEvent*) {
    if (m_picture.isNull())
        return;
    // The picture is not stretched: the control shows its top-left 16 × 16 pixels.
    const qreal ratio = devicePixelRatioF();
    if (m_shownKey != m_picture.cacheKey() || m_shown.devicePixelRatio() != ratio) {
        m_shown = config::RenderCell(m_picture, ratio);
        m_shownKey = m_picture.cacheKey();
    }
    QPainter(this).drawImage(QPoint(0, 0), m_shown);
}
