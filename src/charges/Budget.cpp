#include "charges/Budget.h"

#include "platform/IniFile.h"
#include "settings/Startup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cmath>
#include <numeric>

namespace charges {
namespace {

const QString kSumKey = QStringLiteral("Summe");
constexpr qint64 kStateLimit = 4096;

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
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> lines = f.read(kStateLimit).split('\n');
    m_month = QString::fromUtf8(lines.value(0).trimmed());
    for (qsizetype n = 1; n < lines.size(); ++n)
        for (int i = 0; i <= kBudgetSum; ++i)
            if (QString::fromUtf8(lines[n].trimmed()) == Key(i))
                m_reported[size_t(i)] = true;
}

void TBudgetWaechter::Save() const {
    QByteArray text = m_month.toUtf8() + '\n';
    for (int i = 0; i <= kBudgetSum; ++i)
        if (m_reported[size_t(i)])
            text += Key(i).toUtf8() + '\n';
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // Losing this file only means one warning more; a failure is not reported.
    QSaveFile f(m_path);
    if (f.open(QIODevice::WriteOnly) && f.write(text) == text.size())
        f.commit();
}

std::vector<Overrun> TBudgetWaechter::Check(QDate today,
                                            const std::array<double, kHistoryPorts>& costs,
                                            const Budgets& budgets) {
    if (!m_loaded)
        Load();
    const QString month = today.toString(QStringLiteral("yyyy-MM"));
    if (m_month != month) {
        m_month = month;
        m_reported = {};
    }
    std::array<double, kHistoryPorts + 1> all{};
    std::copy(costs.begin(), costs.end(), all.begin());
    all[kBudgetSum] = std::accumulate(costs.begin(), costs.end(), 0.0);
    std::vector<Overrun> out;
    for (int i = 0; i <= kBudgetSum; ++i) {
        const auto& limit = budgets.limit[size_t(i)];
        if (!limit || m_reported[size_t(i)] || Cents(all[size_t(i)]) <= Cents(*limit))
            continue;
        m_reported[size_t(i)] = true;
        out.push_back(Overrun{i, all[size_t(i)], *limit});
    }
    if (!out.empty())
        Save();
    return out;
}

} // namespace charges
