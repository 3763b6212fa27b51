// The animation on the "Programm-Info" page.
#include "app/HauptFormular.h"

void THauptFenster::BaueAnimation(QWidget* page) {
    AnimationControl = new QWidget(page);
    AnimationControl->setObjectName(QStringLiteral("AnimationControl"));
    AnimationControl->setGeometry(318, 16, 170, 170);
}
