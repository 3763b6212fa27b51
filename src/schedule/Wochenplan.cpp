#include "schedule/Wochenplan.h"

#include "platform/IniFile.h"

#include <QRegularExpression>
#include <algorithm>

namespace schedule {

namespace {

constexpr int kTage = 7;
constexpr const char* kKurz[kTage] = {"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};
constexpr const char* kLang[kTage] = {"Montag",  "Dienstag", "Mittwoch", "Donnerstag",
                                      "Freitag", "Samstag",  "Sonntag"};

// 1 … 7, or 0 when the word names no day.
int DayFromWord(const QString& word) {
    for (int i = 0; i < kTage; ++i)
        if (word.compare(QLatin1String(kKurz[i]), Qt::CaseInsensitive) == 0 ||
            word.compare(QLatin1String(kLang[i]), Qt::CaseInsensitive) == 0)
            return i + 1;
    return 0;
}

QString IniLine(const QString& section, const QString& key, const QString& value) {
    return QStringLiteral("[%1] %2=%3").arg(section, key, value);
}

const QString kTageKey = QStringLiteral("Tage");

} // namespace

bool TWochentage::contains(int dayOfWeek) const {
    return dayOfWeek >= 1 && dayOfWeek <= kTage && (m_bits & (1u << (dayOfWeek - 1))) != 0;
}

void TWochentage::set(int dayOfWeek, bool on) {
    if (dayOfWeek < 1 || dayOfWeek > kTage)
        return;
    const auto bit = static_cast<std::uint8_t>(1u << (dayOfWeek - 1));
    m_bits =
        on ? static_cast<std::uint8_t>(m_bits | bit) : static_cast<std::uint8_t>(m_bits & ~bit);
}

TWochentage TWochentage::FromText(const QString& text, QStringList* unknown) {
    static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
    TWochentage tage(0);
    for (const QString& word : text.split(separators, Qt::SkipEmptyParts)) {
        const qsizetype dash = word.indexOf(u'-');
        int first = 0;
        int last = 0;
        if (dash < 0) {
            first = last = DayFromWord(word);
        } else {
            first = DayFromWord(word.left(dash));
            last = DayFromWord(word.mid(dash + 1));
        }
        if (first == 0 || last == 0) {
            if (unknown)
                unknown->append(word);
            continue;
        }
        for (int d = first;; d = d % kTage + 1) {
            tage.set(d, true);
            if (d == last)
                break;
        }
    }
    return tage.isEmpty() ? Alle() : tage;
}

QString TWochentage::toText() const {
    QStringList words;
    for (int d = 1; d <= kTage; ++d)
        if (contains(d))
            words.append(QLatin1String(kKurz[d - 1]));
    return words.join(u',');
}

QString TWochentage::kurzText() const {
    if (*this == Alle())
        return {};
    QStringList words;
    for (int d = 1; d <= kTage;) {
        if (!contains(d)) {
            ++d;
            continue;
        }
        int last = d;
        while (last < kTage && contains(last + 1))
            ++last;
        words.append(last - d >= 2
                         ? QLatin1String(kKurz[d - 1]) + u'-' + QLatin1String(kKurz[last - 1])
                         : QString(QLatin1String(kKurz[d - 1])));
        if (last - d == 1)
            words.append(QLatin1String(kKurz[last - 1]));
        d = last + 1;
    }
    return words.join(u',');
}

bool TBetriebsferien::add(QDate from, QDate to) {
    if (!from.isValid() || !to.isValid() || to < from)
        return false;
    m_ranges.emplace_back(from, to);
    return true;
}

bool TBetriebsferien::contains(QDate day) const {
    return std::any_of(m_ranges.begin(), m_ranges.end(),
                       [day](const auto& r) { return r.first <= day && day <= r.second; });
}

QDate DateFromText(const QString& text) {
    return QDate::fromString(text.trimmed(), QStringLiteral("d.M.yyyy"));
}

QString ZeitpunktSection(int index) {
    return QStringLiteral("Zeitpunkt%1").arg(index + 1);
}

std::optional<QString> TWochenplan::sonntagsGrund(QDate day) const {
    if (!day.isValid())
        return std::nullopt;
    if (land)
        if (std::optional<QString> name = FeiertagAm(*land, day))
            return name;
    if (betriebsferien.contains(day))
        return QStringLiteral("Betriebsferien");
    return std::nullopt;
}

int TWochenplan::wochentag(QDate day) const {
    return sonntagsGrund(day) ? Qt::Sunday : day.dayOfWeek();
}

bool TWochenplan::fires(int index, QDate day) const {
    if (index < 0 || index >= kEntries || !day.isValid())
        return false;
    return tage[static_cast<size_t>(index)].contains(wochentag(day));
}

TWochenplan ReadWochenplan(const platform::IniFile& ini, QStringList* uebergangen) {
    TWochenplan plan;
    auto passOver = [uebergangen](const QString& section, const QString& key,
                                  const QString& value) {
        if (uebergangen)
            uebergangen->append(IniLine(section, key, value));
    };

    for (int i = 0; i < kEntries; ++i) {
        const QString section = ZeitpunktSection(i);
        const QString text = ini.readString(section, kTageKey, QString());
        QStringList unknown;
        plan.tage[static_cast<size_t>(i)] = TWochentage::FromText(text, &unknown);
        if (!unknown.isEmpty())
            passOver(section, kTageKey, text);
    }

    const QString feiertage = QStringLiteral("Feiertage");
    const QString landKey = QStringLiteral("Land");
    const QString land = ini.readString(feiertage, landKey, QString());
    plan.land = LandFromText(land);
    if (!plan.land && !land.isEmpty())
        passOver(feiertage, landKey, land);

    const QString ferien = QStringLiteral("Betriebsferien");
    for (const QString& key : ini.keys(ferien)) {
        const QString value = ini.readString(ferien, key, QString());
        if (!plan.betriebsferien.add(DateFromText(key), DateFromText(value)))
            passOver(ferien, key, value);
    }
    return plan;
}

void WriteTage(platform::IniFile& ini, int index, const TWochentage& tage) {
    if (index < 0 || index >= kEntries)
        return;
    ini.writeString(ZeitpunktSection(index), kTageKey, tage.toText());
}

} // namespace schedule
