#pragma once

#include "protocol/Exchange.h"

#include <QChar>
#include <QString>
#include <array>

// The widget-free part of the charge evaluation: costs and texts of the
// "Gebühren" page and of the two exported items.
namespace charges {

inline constexpr int kPorts = exchange::kPorts;

struct ChargeInput {
    std::array<int, kPorts> counters{}; // ports 21..28
    int ports = 8;                      // ports the exchange has, 0..8
    double price = 0.0;                 // per unit
    std::array<int, kPorts> alteEinheiten{};
    std::array<double, kPorts> alteKosten{};
    QChar decimalPoint = u'.';
};

struct ChargeTexts {
    std::array<QString, kPorts> einheiten; // only the first `ports` are meaningful
    std::array<QString, kPorts> kosten;
    QString einheitenSumme;
    QString kostenSumme;
    QString ddeEinheiten; // all eight counters, ";"-separated
    QString ddeKosten;    // the costs of the ports the exchange has
    int unitsSum = 0;
};

// Cost of one port: units past an old reading are priced anew on top of the old
// cost; otherwise every unit is priced at the current price.
double PortCost(int counter, double price, int alteEinheiten, double alteKosten);

// printf "%<width>.2f" with the given decimal point and no grouping; never cut.
QString FormatCost(double value, int width, QChar decimalPoint);

ChargeTexts Evaluate(const ChargeInput& in);

// "(+n)" when the value grew past the logged one, else empty.
QString DiffText(int value, int logged);

} // namespace charges
