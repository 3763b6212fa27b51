#include "charges/ChargeEvaluation.h"

#include <QStringList>
#include <algorithm>

namespace charges {

double PortCost(int counter, double price, int alteEinheiten, double alteKosten) {
    if (alteEinheiten < counter)
        return price * (counter - alteEinheiten) + alteKosten;
    return price * counter;
}

QString FormatCost(double value, int width, QChar decimalPoint) {
    QString text = QString::asprintf("%*.2f", width, value);
    text.replace(u'.', decimalPoint);
    return text;
}

ChargeTexts Evaluate(const ChargeInput& in) {
    ChargeTexts out;
    const int ports = std::clamp(in.ports, 0, kPorts);
    QStringList units;
    for (int counter : in.counters)
        units << QString::number(counter);
    out.ddeEinheiten = units.join(u';');

    double costSum = 0.0;
    QStringList costs;
    for (int i = 0; i < ports; ++i) {
        out.unitsSum += in.counters[i];
        out.einheiten[i] = QString::number(in.counters[i]);
        const double cost =
            PortCost(in.counters[i], in.price, in.alteEinheiten[i], in.alteKosten[i]);
        costSum += cost;
        out.kosten[i] = FormatCost(cost, 4, in.decimalPoint);
        costs << out.kosten[i];
    }
    out.ddeKosten = costs.join(u';');
    out.einheitenSumme = QString::number(out.unitsSum);
    out.kostenSumme = FormatCost(costSum, 6, in.decimalPoint);
    return out;
}

QString DiffText(int value, int logged) {
    return logged < value ? QStringLiteral("(+%1)").arg(value - logged) : QString();
}

} // namespace charges
