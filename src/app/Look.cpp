#include "app/Look.h"

#include <QApplication>
#include <QFont>
#include <QProxyStyle>
#include <QStyleFactory>

namespace app {
namespace {

class TKlassikStil : public QProxyStyle {
public:
    TKlassikStil() : QProxyStyle(QStyleFactory::create(QStringLiteral("Windows"))) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_TabBarTabHSpace) return 12;
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
}

} // namespace app
