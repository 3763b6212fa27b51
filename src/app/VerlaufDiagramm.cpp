#include "app/VerlaufDiagramm.h"

#include "settings/Startup.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QStackedBarSeries>
#include <QValueAxis>

namespace app {
namespace {

constexpr int kAufrechtAb = 8; // more category labels than this are drawn upright

} // namespace

QString PortBeschriftung(int index, const QString& name) {
    const QString port = QString::number(startup::kFirstPort + index);
    return name.isEmpty() ? port : port + u' ' + name;
}

QString ZeitraumName(charges::Period period) {
    switch (period) {
    case charges::Period::Day:
        return QStringLiteral("Tag");
    case charges::Period::Month:
        return QStringLiteral("Monat");
    case charges::Period::Year:
        break;
    }
    return QStringLiteral("Jahr");
}

QChart* KostenDiagramm(const std::vector<charges::PeriodCosts>& rows,
                       const std::array<QString, charges::kHistoryPorts>& names,
                       charges::Period period, const QLocale& locale) {
    auto* chart = new QChart();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setTitle(QStringLiteral("Kosten je %1").arg(ZeitraumName(period)));
    QLocale numbers = locale;
    numbers.setNumberOptions(QLocale::OmitGroupSeparator);
    chart->setLocale(numbers);
    chart->setLocalizeNumbers(true);

    auto* series = new QStackedBarSeries();
    double highest = 0.0;
    for (const charges::PeriodCosts& p : rows)
        highest = std::max(highest, p.costSum());
    for (int i = 0; i < charges::kHistoryPorts; ++i) {
        bool used = false;
        for (const charges::PeriodCosts& p : rows)
            used = used || p.costs[size_t(i)] > 0.0;
        if (!used)
            continue;
        auto* set = new QBarSet(PortBeschriftung(i, names[size_t(i)]));
        for (const charges::PeriodCosts& p : rows)
            *set << p.costs[size_t(i)];
        series->append(set);
    }
    chart->addSeries(series);

    QStringList labels;
    for (const charges::PeriodCosts& p : rows)
        labels << p.label;
    auto* x = new QBarCategoryAxis();
    x->append(labels);
    if (labels.size() > kAufrechtAb)
        x->setLabelsAngle(-90);
    auto* y = new QValueAxis();
    y->setLabelFormat(QStringLiteral("%.2f"));
    y->setRange(0.0, highest > 0.0 ? highest * 1.05 : 1.0);
    y->applyNiceNumbers();
    y->setTitleText(QStringLiteral("Kosten"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->legend()->setVisible(!series->barSets().isEmpty());
    return chart;
}

} // namespace app
