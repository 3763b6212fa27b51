#include "charges/ChargeReport.h"

#include "catalogue/Catalogue.h"
#include "platform/IniFile.h"
#include "settings/Startup.h"

#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace charges {
namespace {

QDate PeriodStart(QDate day, Period period) {
    switch (period) {
    case Period::Day:
        return day;
    case Period::Month:
        return QDate(day.year(), day.month(), 1);
    case Period::Year:
        break;
    }
    return QDate(day.year(), 1, 1);
}

QString PeriodLabel(QDate start, Period period) {
    switch (period) {
    case Period::Day:
        return start.toString(QStringLiteral("yyyy-MM-dd"));
    case Period::Month:
        return start.toString(QStringLiteral("yyyy-MM"));
    case Period::Year:
        break;
    }
    return start.toString(QStringLiteral("yyyy"));
}

// RFC 4180: a field with the separator, a quote or a line break is quoted, its
// quotes doubled.
QByteArray CsvField(const QString& text) {
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(';') || bytes.contains('"') || bytes.contains('\r') ||
        bytes.contains('\n')) {
        bytes.replace("\"", "\"\"");
        bytes = '"' + bytes + '"';
    }
    return bytes;
}

} // namespace

std::optional<Period> PeriodFromName(const QString& name) {
    if (name == u"day")
        return Period::Day;
    if (name == u"month")
        return Period::Month;
    if (name == u"year")
        return Period::Year;
    return std::nullopt;
}

void TTarife::Add(QDate from, double price) {
    const auto at = std::lower_bound(m_from.begin(), m_from.end(), from,
                                     [](const auto& entry, QDate d) { return entry.first < d; });
    if (at != m_from.end() && at->first == from)
        return;
    m_from.insert(at, {from, price});
}

double TTarife::PriceOn(QDate day) const {
    const auto after = std::upper_bound(m_from.begin(), m_from.end(), day,
                                        [](QDate d, const auto& entry) { return d < entry.first; });
    return after == m_from.begin() ? m_basis : std::prev(after)->second;
}

std::optional<double> PriceFromText(const QString& text) {
    const std::optional<double> v = startup::Geldbetrag(text);
    if (!v || *v < 0.0 || *v > 9.99)
        return std::nullopt;
    return v;
}

TTarife ReadTarife(const platform::IniFile& ini) {
    double basis = startup::KostenProEinheitAusText(ini.readString(
        QStringLiteral("Allgemein"), QStringLiteral("Kosten"), QStringLiteral("0,00")));
    if (!std::isfinite(basis))
        basis = 0.0;
    TTarife tarife(basis);
    const QString section = QStringLiteral("Tarife");
    for (const QString& key : ini.keys(section)) {
        const QDate from = QDate::fromString(key, QStringLiteral("dd.MM.yyyy"));
        const std::optional<double> price = PriceFromText(ini.readString(section, key, {}));
        if (from.isValid() && price)
            tarife.Add(from, *price);
    }
    return tarife;
}

std::array<QString, kHistoryPorts> ReadPortNames(const platform::IniFile& ini) {
    std::array<QString, kHistoryPorts> names;
    for (int i = 0; i < kHistoryPorts; ++i)
        names[i] = ini.readString(QStringLiteral("Bezeichnungen"),
                                  QString::number(startup::kFirstPort + i), QString())
                       .left(startup::kLabelLength);
    return names;
}

qint64 PeriodCosts::unitsSum() const {
    return std::accumulate(units.begin(), units.end(), qint64(0));
}

double PeriodCosts::costSum() const {
    return std::accumulate(costs.begin(), costs.end(), 0.0);
}

std::vector<PeriodCosts> Aggregate(const THistory& history, Period period, const TTarife& tarife,
                                   QDate from, QDate to) {
    std::vector<PeriodCosts> out;
    const auto& days = history.days();
    auto it = from.isValid() ? days.lower_bound(from.toJulianDay()) : days.begin();
    for (; it != days.end(); ++it) {
        const QDate day = QDate::fromJulianDay(it->first);
        if (to.isValid() && day > to)
            break;
        const QDate start = PeriodStart(day, period);
        if (out.empty() || out.back().start != start)
            out.push_back(PeriodCosts{PeriodLabel(start, period), start, {}, {}});
        PeriodCosts& p = out.back();
        const double price = tarife.PriceOn(day);
        for (int i = 0; i < kHistoryPorts; ++i) {
            p.units[i] += it->second.units[i];
            p.costs[i] += double(it->second.units[i]) * price;
        }
    }
    return out;
}

std::array<double, kHistoryPorts> MonthCosts(const THistory& history, const TTarife& tarife,
                                             QDate day) {
    const QDate first(day.year(), day.month(), 1);
    const std::vector<PeriodCosts> month =
        Aggregate(history, Period::Month, tarife, first, first.addMonths(1).addDays(-1));
    return month.empty() ? std::array<double, kHistoryPorts>{} : month.front().costs;
}

QString SkippedNote(const THistory& history) {
    if (history.skipped() == 0)
        return {};
    return catalogue::Fill(catalogue::meldung::ZeilenUebersprungen,
                           QStringLiteral("%1 (die erste ist Zeile %2)")
                               .arg(history.skipped())
                               .arg(history.firstSkippedLine()));
}

QChar DecimalPoint() {
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QChar(u'.') : point.front();
}

QString Money(double value, QChar decimalPoint) {
    QString text = QString::asprintf("%.2f", value);
    text.replace(u'.', decimalPoint);
    return text;
}

QByteArray ToCsv(const std::vector<PeriodCosts>& rows,
                 const std::array<QString, kHistoryPorts>& names) {
    QByteArray out =
        CsvField(QStringLiteral("Zeitraum")) + ';' + CsvField(QStringLiteral("Anschluß")) + ';' +
        CsvField(QStringLiteral("Bezeichnung")) + ';' + CsvField(QStringLiteral("Einheiten")) +
        ';' + CsvField(QStringLiteral("Kosten")) + "\r\n";
    auto line = [&out](const QString& period, const QString& port, const QString& name,
                       qint64 units, double cost) {
        out += CsvField(period) + ';' + CsvField(port) + ';' + CsvField(name) + ';' +
               QByteArray::number(units) + ';' + Money(cost, u',').toUtf8() + "\r\n";
    };
    for (const PeriodCosts& p : rows) {
        for (int i = 0; i < kHistoryPorts; ++i)
            line(p.label, QString::number(startup::kFirstPort + i), names[i], p.units[i],
                 p.costs[i]);
        line(p.label, QStringLiteral("Summe"), QString(), p.unitsSum(), p.costSum());
    }
    return out;
}

QString ToTable(const std::vector<PeriodCosts>& rows, QChar decimalPoint) {
    // Columns: period, the eight ports, the sum of units, the costs.
    QList<QStringList> cells;
    QStringList head{QStringLiteral("Zeitraum")};
    for (int i = 0; i < kHistoryPorts; ++i)
        head << QString::number(startup::kFirstPort + i);
    head << QStringLiteral("Summe") << QStringLiteral("Kosten");
    cells << head;
    for (const PeriodCosts& p : rows) {
        QStringList line{p.label};
        for (qint64 u : p.units)
            line << QString::number(u);
        line << QString::number(p.unitsSum()) << Money(p.costSum(), decimalPoint);
        cells << line;
    }
    std::vector<qsizetype> width(size_t(head.size()), 0);
    for (const QStringList& line : cells)
        for (qsizetype c = 0; c < line.size(); ++c)
            width[size_t(c)] = std::max(width[size_t(c)], line[c].size());
    QString out;
    for (const QStringList& line : cells) {
        QString text = line[0].leftJustified(width[0]);
        for (qsizetype c = 1; c < line.size(); ++c)
            text += QStringLiteral("  ") + line[c].rightJustified(width[size_t(c)]);
        out += text + u'\n';
    }
    return out;
}

} // namespace charges
