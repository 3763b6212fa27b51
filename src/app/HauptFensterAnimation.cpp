// The animation on the "Programm-Info" page.
#include "app/HauptFormular.h"
#include "desktop/animationcontrol.h"

#include <QTabWidget>

void THauptFenster::BaueAnimation(QWidget* page) {
    AnimationControl = new TAnimationControl(page);
    AnimationControl->setObjectName(QStringLiteral("AnimationControl"));
    AnimationControl->setGeometry(344, 48, 100, 116);
    AnimationControl->SetCenter(true);
    AnimationControl->SetTransparent(true);
    AnimationControl->SetAutoplay(false);
    AnimationControl->SetAviFileName(QStringLiteral("100"));
    // It plays only while its page is in front.
    connect(MainPageControl, &QTabWidget::currentChanged, AnimationControl, [this, page] {
        AnimationControl->SetAutoplay(MainPageControl->currentWidget() == page);
    });
}
