#include "app/Look.h"

#include <QApplication>
#include <QFont>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>

namespace app {
namespace {

class TKlassikStil : public QProxyStyle {
public:
    TKlassikStil() : QProxyStyle(QStyleFactory::create(QStringLiteral("Windows"))) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_TabBarTabHSpace)
            return 12;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

void ApplyLook(QApplication& app) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")});
    font.setPixelSize(11);
    app.setFont(font);
    app.setStyle(new TKlassikStil);
    // The classic system colours: the matrix pictures' grey is the button face.
    QPalette pal = app.style()->standardPalette();
    const QColor face(192, 192, 192);
    for (auto role : {QPalette::Window, QPalette::Button})
        pal.setColor(role, face);
    pal.setColor(QPalette::Light, Qt::white);
    pal.setColor(QPalette::Midlight, QColor(224, 224, 224));
    pal.setColor(QPalette::Mid, QColor(160, 160, 160));
    pal.setColor(QPalette::Dark, QColor(128, 128, 128));
    pal.setColor(QPalette::Shadow, Qt::black);
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Highlight, QColor(0, 0, 128));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 128, 128));
    pal.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 128, 128));
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(128, 128, 128));
    pal.setColor(QPalette::Disabled, QPalette::Base, face);
    app.setPalette(pal);
}

} // namespace app
