#pragma once

#include "charges/ChargeReport.h"

#include <QLocale>
#include <QString>
#include <array>
#include <vector>

class QChart;

// The chart of the charge history, shared by the "Gebührenverlauf" window and
// winvarno-report --plot.
namespace app {

// "21 Büro", or "21" for a port without a name.
QString PortBeschriftung(int index, const QString& name);

// "Monat", "Tag", "Jahr".
QString ZeitraumName(charges::Period period);

// Costs per period as bars stacked by port, one bar set per port that has costs,
// named in the legend; numbers in the locale's notation; no animation, so it can be
// rendered at once.
QChart* KostenDiagramm(const std::vector<charges::PeriodCosts>& rows,
                       const std::array<QString, charges::kHistoryPorts>& names,
                       charges::Period period, const QLocale& locale);

} // namespace app
