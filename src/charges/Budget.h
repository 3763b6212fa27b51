#pragma once

#include "charges/ChargeHistory.h"

#include <QDate>
#include <QString>
#include <array>
#include <map>
#include <optional>
#include <vector>

namespace platform {
class IniFile;
}

// Monthly budgets per port and for the sum, and the memory of which of them were
// already reported in a month.
namespace charges {

inline constexpr int kBudgetSum = kHistoryPorts; // index of "Summe" beside ports 0..7

struct Budgets {
    std::array<std::optional<double>, kHistoryPorts + 1> limit; // ports 21..28, then the sum
    bool any() const;
};

// An amount of money written like "Kosten" (first 10 characters, the first comma as
// the decimal point); nullopt when it is not a finite number of at least 0.
std::optional<double> MoneyFromText(const QString& text);

// "[Budget] 21" ... "28" and "Summe".
Budgets ReadBudgets(const platform::IniFile& ini);

struct Overrun {
    int index = 0; // 0..7 for ports 21..28, kBudgetSum for the sum
    double costs = 0.0;
    double budget = 0.0;
};

// Reports each budget once per month. What was reported lives in a small state
// file of the program's own, so a restart in the same month does not warn again,
// nor does a clock stepped back into the month before and forward again.
class TBudgetWaechter {
public:
    explicit TBudgetWaechter(QString statePath) : m_path(std::move(statePath)) {}

    // The budgets that this month's costs (ports 21..28) exceed, to the cent, and
    // that were not reported yet this month; from now on they count as reported.
    std::vector<Overrun> Check(QDate today, const std::array<double, kHistoryPorts>& costs,
                               const Budgets& budgets);

private:
    void Load();
    void Save() const;

    QString m_path;
    bool m_loaded = false;
    using Reported = std::array<bool, kHistoryPorts + 1>;
    std::map<QString, Reported> m_months; // "yyyy-MM", so in calendar order
};

} // namespace charges
