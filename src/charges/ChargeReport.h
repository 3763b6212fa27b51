#pragma once

#include "charges/ChargeHistory.h"

#include <QByteArray>
#include <QChar>
#include <QDate>
#include <QString>
#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace platform {
class IniFile;
}

// Units and costs per period and port, from the history of the charge log.
namespace charges {

enum class Period { Day, Month, Year };

// "day", "month", "year"; nullopt for anything else.
std::optional<Period> PeriodFromName(const QString& name);

// The price of a unit on a given day: "[Tarife]" holds prices from a date on
// ("dd.MM.yyyy=0,14"); before its first date, or without it, "[Allgemein] Kosten".
class TTarife {
public:
    explicit TTarife(double basis = 0.0) : m_basis(basis) {}
    void Add(QDate from, double price);
    double PriceOn(QDate day) const;
    double basis() const { return m_basis; }

private:
    double m_basis;
    std::vector<std::pair<QDate, double>> m_from; // sorted by date
};

// A price text the way "Kosten" is read (first 10 characters, the first comma as the
// decimal point); nullopt when it is not a finite number in 0 .. 9,99.
std::optional<double> PriceFromText(const QString& text);

// "[Allgemein] Kosten" and "[Tarife]" of the settings file. Keys that are not dates
// and values that are no price are passed over; a date given twice keeps its first.
TTarife ReadTarife(const platform::IniFile& ini);

// "[Bezeichnungen] 21" ... "28", each cut to 40 characters.
std::array<QString, kHistoryPorts> ReadPortNames(const platform::IniFile& ini);

struct PeriodCosts {
    QString label; // "2026", "2026-12" or "2026-12-08"
    QDate start;
    Units units{};
    std::array<double, kHistoryPorts> costs{};
    qint64 unitsSum() const;
    double costSum() const;
};

// One entry per period that holds a row of the log, in time order. Days outside
// from .. to (each left null for no bound) are left out.
std::vector<PeriodCosts> Aggregate(const THistory& history, Period period, const TTarife& tarife,
                                   QDate from = {}, QDate to = {});

// Costs per port in the month of `day` (units priced day by day).
std::array<double, kHistoryPorts> MonthCosts(const THistory& history, const TTarife& tarife,
                                             QDate day);

// "Übersprungene Zeilen im Gebührenprotokoll: 3 (die erste ist Zeile 1)", or empty.
QString SkippedNote(const THistory& history);

// The decimal separator of the user's regional settings.
QChar DecimalPoint();

// "%.2f" with the given decimal point.
QString Money(double value, QChar decimalPoint);

// The spreadsheet file: ";"-separated, decimal comma, UTF-8, CR LF, fields quoted
// where RFC 4180 needs it; a header row, then per period one row for each port
// 21..28 and one for "Summe".
QByteArray ToCsv(const std::vector<PeriodCosts>& rows,
                 const std::array<QString, kHistoryPorts>& names);

// An aligned text table: per period the units of the eight ports, their sum and the
// costs.
QString ToTable(const std::vector<PeriodCosts>& rows, QChar decimalPoint);

} // namespace charges
