#include "app/MatrixBild.h"

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
    QPainter(this).drawImage(QPoint(0, 0), m_picture);
}
