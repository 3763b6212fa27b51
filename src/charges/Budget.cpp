#include "charges/Budget.h"

#include "platform/IniFile.h"
#include "platform/UserFile.h"
#include "settings/Startup.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <numeric>

namespace charges {
namespace {

const QString kSumKey = QStringLiteral("Summe");
constexpr qint64 kStateLimit = 4096;

// The months whose reports are remembered: enough for a clock stepped back across
// a month end, and a month the clock once wrongly showed cannot crowd them out.
constexpr size_t kKeptMonths = 3;

bool IsMonth(const QString& line) {
    return line.size() == 7 && QDate::fromString(line, QStringLiteral("yyyy-MM")).isValid();
}

QString Key(int index) {
    return index == kBudgetSum ? kSumKey : QString::number(startup::kFirstPort + index);
}

qint64 Cents(double value) {
    return std::llround(value * 100.0);
}

} // namespace

bool Budgets::any() const {
    for (const auto& l : limit)
        if (l)
            return true;
    return false;
}

std::optional<double> MoneyFromText(const QString& text) {
    const std::optional<double> v = startup::Geldbetrag(text);
    if (!v || *v < 0.0)
        return std::nullopt;
    return v;
}

Budgets ReadBudgets(const platform::IniFile& ini) {
    Budgets b;
    for (int i = 0; i <= kBudgetSum; ++i)
        if (const auto text = ini.value(QStringLiteral("Budget"), Key(i)))
            b.limit[size_t(i)] = MoneyFromText(*text);
    return b;
}

void TBudgetWaechter::Load() {
    m_loaded = true;
    int error = 0;
    // A FIFO in its place is refused, never waited for.
    const std::optional<QByteArray> state = platform::ReadRegular(m_path, kStateLimit, &error);
    if (!state)
        return;
    // Each month line is followed by what was reported in it; a file of one month
    // alone is the same thing.
    Reported* month = nullptr;
    for (const QByteArray& raw : state->split('\n')) {
        const QString line = QString::fromUtf8(raw.trimmed());
        if (IsMonth(line)) {
            month = &m_months[line];
            continue;
        }
        for (int i = 0; month && i <= kBudgetSum; ++i)
            if (line == Key(i))
                (*month)[size_t(i)] = true;
    }
}

void TBudgetWaechter::Save() const {
    // The newest month first, as a one-month file had it.
    QByteArray text;
    for (auto m = m_months.rbegin(); m != m_months.rend(); ++m) {
        text += m->first.toUtf8() + '\n';
        for (int i = 0; i <= kBudgetSum; ++i)
            if (m->second[size_t(i)])
                text += Key(i).toUtf8() + '\n';
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // Losing this file only means one warning more; a failure is not reported. It is
    // replaced whole or not at all, so a full disk never empties it.
    (void)platform::ReplaceFile(m_path, text);
}

std::vector<Overrun> TBudgetWaechter::Check(QDate today,
                                            const std::array<double, kHistoryPorts>& costs,
                                            const Budgets& budgets) {
    if (!m_loaded)
        Load();
    // A clock stepped back into the month before finds that month's flags, and
    // the newer month keeps its own for when the clock comes forward again.
    const QString month = today.toString(QStringLiteral("yyyy-MM"));
    Reported& reported = m_months[month];
    std::array<double, kHistoryPorts + 1> all{};
    std::copy(costs.begin(), costs.end(), all.begin());
    all[kBudgetSum] = std::accumulate(costs.begin(), costs.end(), 0.0);
    std::vector<Overrun> out;
    for (int i = 0; i <= kBudgetSum; ++i) {
        const auto& limit = budgets.limit[size_t(i)];
        if (!limit || reported[size_t(i)] || Cents(all[size_t(i)]) <= Cents(*limit))
            continue;
        reported[size_t(i)] = true;
        out.push_back(Overrun{i, all[size_t(i)], *limit});
    }
    // Months long past need no memory; the one just checked stays whatever it is.
    for (auto m = m_months.begin(); m_months.size() > kKeptMonths && m != m_months.end();)
        m = m->first == month ? std::next(m) : m_months.erase(m);
    if (!out.empty())
        Save();
    return out;
}

} // namespace charges
