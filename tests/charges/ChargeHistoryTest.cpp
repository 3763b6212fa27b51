#include "charges/ChargeHistory.h"
#include "charges/ChargeLog.h"
#include "charges/ChargeReport.h"
#include "platform/IniFile.h"
#include "support/TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace charges;
using testsupport::writeAll;

namespace {

QByteArray Row(const char* date, const char* time, Counters c) {
    int sum = 0;
    for (int v : c)
        sum += v;
    const QDateTime when(QDate::fromString(QString::fromLatin1(date), "dd.MM.yyyy"),
                         QTime::fromString(QString::fromLatin1(time), "HH:mm"));
    return LogRow(when, c, sum);
}

THistory FeedAll(const QByteArray& bytes) {
    THistory h;
    h.Feed(bytes);
    h.Finish();
    return h;
}

Units UnitsOf(const std::vector<PeriodCosts>& rows, const QString& label) {
    for (const PeriodCosts& p : rows)
        if (p.label == label)
            return p.units;
    ADD_FAILURE() << "no period " << label.toStdString();
    return {};
}

} // namespace

TEST(ChargeHistoryRow, TheRowFormatAndNothingElse) {
    const QByteArray good = Row("07.12.2026", "23:59", {5, 0, 2, 0, 7, 0, 0, 65535}).left(92);
    const auto row = ParseHistoryRow(good);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->date, QDate(2026, 12, 7));
    EXPECT_EQ(row->counters, (Counters{5, 0, 2, 0, 7, 0, 0, 65535}));

    auto edited = [&](int at, const char* bytes) {
        QByteArray line = good;
        line.replace(at, qsizetype(qstrlen(bytes)), bytes);
        return line;
    };
    const QList<QByteArray> bad{
        good.left(91),        good + ' ',     LogHeader().left(92), QByteArray(92, 'x'),
        edited(22, "1 2"),    // a blank between the digits of port 21
        edited(20, "      "), // no digit at all
        edited(76, "65536"),  // more than a counter holds
        edited(2, "31.02"),   // no such day
        edited(13, "24"),     // no such hour
        edited(16, "60"),     edited(4, ","), edited(0, "!"),       edited(91, "x"),
    };
    for (const QByteArray& line : bad)
        EXPECT_FALSE(ParseHistoryRow(line)) << line.constData();

    // The fast reading agrees with the plain one, row or not.
    QList<QByteArray> all = bad;
    all << good << Row("01.01.2027", "00:00", {}).left(92);
    for (QByteArray line : all) {
        line = line.leftJustified(92, ' ', true);
        RowDateCache a, b;
        qint64 dayA = 0, dayB = 0;
        Counters ca{}, cb{};
        const bool fast = RowAt(line.constData(), a, dayA, ca);
        ASSERT_EQ(fast, RowAtPlain(line.constData(), b, dayB, cb)) << line.constData();
        if (fast) {
            EXPECT_EQ(dayA, dayB);
            EXPECT_EQ(ca, cb);
        }
    }
}

TEST(ChargeHistory, UsageBetweenRowsBelongsToTheLaterRowsDay) {
    const QByteArray log =
        LogHeader() + Row("30.11.2026", "23:00", {100, 50, 0, 0, 0, 0, 0, 0}) + // baseline
        Row("01.12.2026", "08:00", {110, 50, 3, 0, 0, 0, 0, 0}) +
        Row("02.12.2026", "08:00", {4, 60, 3, 0, 0, 0, 0, 0}) + // port 21 reset on the exchange
        "| 02.12.2026 09:00 |   1 2 |" + "\r\n" +               // edited by hand: skipped
        LogHeader().left(94) +                                  // a header in the middle
        "\r\n" +                                                // a blank line
        Row("03.12.2026", "08:00", {9, 65535, 3, 0, 0, 0, 0, 0}) +
        Row("04.12.2026", "08:00", {9, 2, 3, 0, 0, 0, 0, 0}) + // port 22 wrapped past 65535
        // No row in January: what was counted meanwhile belongs to February.
        Row("01.02.2027", "08:00", {19, 2, 3, 0, 0, 0, 0, 7}) +
        Row("15.11.2026", "08:00", {20, 2, 3, 0, 0, 0, 0, 7}); // out of order: taken as it comes
    const THistory h = FeedAll(log);
    EXPECT_EQ(h.rows(), 7);
    EXPECT_EQ(h.skipped(), 3);
    EXPECT_EQ(h.firstSkippedLine(), 7);
    EXPECT_EQ(h.lastCounters(), (Counters{20, 2, 3, 0, 0, 0, 0, 7}));

    const TTarife flat(0.10);
    const auto days = Aggregate(h, Period::Day, flat);
    EXPECT_EQ(UnitsOf(days, "2026-11-30"), Units{});
    EXPECT_EQ(UnitsOf(days, "2026-12-01"), (Units{10, 0, 3, 0, 0, 0, 0, 0}));
    EXPECT_EQ(UnitsOf(days, "2026-12-02"), (Units{4, 10, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(UnitsOf(days, "2026-12-04"), (Units{0, 2, 0, 0, 0, 0, 0, 0}));

    const auto months = Aggregate(h, Period::Month, flat);
    ASSERT_EQ(months.size(), 3u);
    EXPECT_EQ(months[0].label, "2026-11");
    EXPECT_EQ(months[0].units, (Units{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(months[1].label, "2026-12");
    EXPECT_EQ(months[1].units, (Units{19, 65487, 3, 0, 0, 0, 0, 0}));
    EXPECT_EQ(months[2].label, "2027-02");
    EXPECT_EQ(months[2].units, (Units{10, 0, 0, 0, 0, 0, 0, 7}));
    EXPECT_NEAR(months[2].costSum(), 1.70, 1e-9);

    const auto years = Aggregate(h, Period::Year, flat, QDate(2026, 12, 2), QDate(2027, 1, 31));
    ASSERT_EQ(years.size(), 1u);
    EXPECT_EQ(years[0].label, "2026");
    EXPECT_EQ(years[0].units, (Units{9, 65487, 0, 0, 0, 0, 0, 0}));

    // The same bytes in pieces of any size, down to single bytes, give the same.
    THistory pieces;
    for (qsizetype i = 0; i < log.size(); i += 7)
        pieces.Feed(QByteArrayView(log).sliced(i, std::min<qsizetype>(7, log.size() - i)));
    pieces.Finish();
    EXPECT_EQ(Aggregate(pieces, Period::Day, flat).size(), days.size());
    EXPECT_EQ(UnitsOf(Aggregate(pieces, Period::Month, flat), "2026-12"), months[1].units);
    EXPECT_EQ(pieces.skipped(), h.skipped());
    EXPECT_EQ(pieces.firstSkippedLine(), h.firstSkippedLine());
}

TEST(ChargeHistory, LongLinesCostNoMemoryAndALastLineWithoutItsEnd) {
    THistory h;
    h.Feed(Row("01.12.2026", "08:00", {1, 0, 0, 0, 0, 0, 0, 0}));
    const QByteArray junk(1 << 20, 'x');
    for (int i = 0; i < 8; ++i)
        h.Feed(junk); // one line of 8 MB
    h.Feed("\n" + Row("02.12.2026", "08:00", {5, 0, 0, 0, 0, 0, 0, 0}).left(92));
    EXPECT_EQ(h.rows(), 1);
    h.Finish();
    EXPECT_EQ(h.rows(), 2);
    EXPECT_EQ(h.skipped(), 1);
    EXPECT_EQ(h.firstSkippedLine(), 2);
    EXPECT_EQ(h.days().at(QDate(2026, 12, 2).toJulianDay()).units[0], 4);
}

TEST(ChargeHistory, PricesFromTheirDateOnAndCostsPerDay) {
    testsupport::ScratchHome home;
    writeAll(home.file("WinVarno.INI"), "[Allgemein]\nKosten=0,12\n"
                                        "[Tarife]\n"
                                        "15.12.2026=0,20\n"
                                        "15.12.2026=0,99\n" // the first one counts
                                        "01.01.2027=nan\n"
                                        "02.01.2027=12,00\n"
                                        "03.01.2027=-1\n"
                                        "2027-01-04=0,50\n"
                                        "05.01.2027=0,15\n");
    const TTarife t = ReadTarife(platform::IniFile(home.file("WinVarno.INI")));
    EXPECT_DOUBLE_EQ(t.PriceOn(QDate(2026, 12, 14)), 0.12);
    EXPECT_DOUBLE_EQ(t.PriceOn(QDate(2026, 12, 15)), 0.20);
    EXPECT_DOUBLE_EQ(t.PriceOn(QDate(2027, 1, 4)), 0.20);
    EXPECT_DOUBLE_EQ(t.PriceOn(QDate(2027, 1, 5)), 0.15);
    EXPECT_DOUBLE_EQ(ReadTarife(platform::IniFile(home.file("none.INI"))).PriceOn(QDate()), 0.0);

    // A price change inside the month: each day's units at that day's price.
    const THistory h = FeedAll(Row("01.12.2026", "08:00", {}) +
                               Row("10.12.2026", "08:00", {10, 0, 0, 0, 0, 0, 0, 0}) +
                               Row("20.12.2026", "08:00", {15, 1, 0, 0, 0, 0, 0, 0}));
    const auto month = Aggregate(h, Period::Month, t);
    ASSERT_EQ(month.size(), 1u);
    EXPECT_NEAR(month[0].costs[0], 10 * 0.12 + 5 * 0.20, 1e-9);
    EXPECT_NEAR(month[0].costSum(), 10 * 0.12 + 6 * 0.20, 1e-9);
    EXPECT_EQ(MonthCosts(h, t, QDate(2026, 12, 31)), month[0].costs);
}

TEST(ChargeHistory, TheCsvForSpreadsheets) {
    const THistory h = FeedAll(Row("30.11.2026", "08:00", {}) +
                               Row("01.12.2026", "08:00", {3, 0, 0, 0, 0, 0, 0, 1}) +
                               Row("01.12.2026", "09:00", {13, 0, 0, 0, 0, 0, 0, 1}));
    std::array<QString, kHistoryPorts> names;
    names[0] = QString::fromUtf8("Büro; \"Chef\"");
    names[7] = "Fax";
    const QByteArray csv = ToCsv(Aggregate(h, Period::Day, TTarife(0.13)), names);
    EXPECT_EQ(csv, QByteArray("Zeitraum;Anschluß;Bezeichnung;Einheiten;Kosten\r\n"
                              "2026-11-30;21;\"Büro; \"\"Chef\"\"\";0;0,00\r\n"
                              "2026-11-30;22;;0;0,00\r\n"
                              "2026-11-30;23;;0;0,00\r\n"
                              "2026-11-30;24;;0;0,00\r\n"
                              "2026-11-30;25;;0;0,00\r\n"
                              "2026-11-30;26;;0;0,00\r\n"
                              "2026-11-30;27;;0;0,00\r\n"
                              "2026-11-30;28;Fax;0;0,00\r\n"
                              "2026-11-30;Summe;;0;0,00\r\n"
                              "2026-12-01;21;\"Büro; \"\"Chef\"\"\";13;1,69\r\n"
                              "2026-12-01;22;;0;0,00\r\n"
                              "2026-12-01;23;;0;0,00\r\n"
                              "2026-12-01;24;;0;0,00\r\n"
                              "2026-12-01;25;;0;0,00\r\n"
                              "2026-12-01;26;;0;0,00\r\n"
                              "2026-12-01;27;;0;0,00\r\n"
                              "2026-12-01;28;Fax;1;0,13\r\n"
                              "2026-12-01;Summe;;14;1,82\r\n"));
    const QStringList table =
        ToTable(Aggregate(h, Period::Month, TTarife(0.13)), u',').split(u'\n');
    EXPECT_EQ(table.value(0), "Zeitraum  21  22  23  24  25  26  27  28  Summe  Kosten");
    EXPECT_EQ(table.value(1), "2026-11    0   0   0   0   0   0   0   0      0    0,00");
    EXPECT_EQ(table.value(2), "2026-12   13   0   0   0   0   0   0   1     14    1,82");
}

TEST(ChargeHistory, TheFollowerReadsOnlyWhatWasAppended) {
    testsupport::ScratchHome home;
    const QString path = home.file("WinVarno.dat");
    TLogFollower f(path);
    EXPECT_FALSE(f.Update()) << "no log yet";
    const QByteArray first = LogHeader() + Row("01.12.2026", "08:00", {1, 0, 0, 0, 0, 0, 0, 0});
    writeAll(path, first);
    ASSERT_TRUE(f.Update());
    EXPECT_EQ(f.history().rows(), 1);
    {
        QFile log(path);
        ASSERT_TRUE(log.open(QIODevice::Append));
        log.write(Row("02.12.2026", "08:00", {4, 0, 0, 0, 0, 0, 0, 0}));
    }
    ASSERT_TRUE(f.Update());
    EXPECT_EQ(f.history().rows(), 2);
    EXPECT_EQ(f.history().skipped(), 0) << "the header was not read again";
    EXPECT_EQ(f.history().days().at(QDate(2026, 12, 2).toJulianDay()).units[0], 3);

    // Rewritten by hand with the same length: read anew from the start.
    writeAll(path, LogHeader() + Row("01.12.2026", "08:00", {2, 0, 0, 0, 0, 0, 0, 0}) +
                       Row("02.12.2026", "08:00", {9, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(f.Update());
    EXPECT_EQ(f.history().rows(), 2);
    EXPECT_EQ(f.history().days().at(QDate(2026, 12, 2).toJulianDay()).units[0], 7);
    // Shortened: likewise.
    writeAll(path, first);
    ASSERT_TRUE(f.Update());
    EXPECT_EQ(f.history().rows(), 1);
    // A last row without its line end counts in the snapshot only.
    writeAll(path, first + Row("03.12.2026", "08:00", {5, 0, 0, 0, 0, 0, 0, 0}).left(92));
    ASSERT_TRUE(f.Update());
    EXPECT_EQ(f.history().rows(), 1);
    EXPECT_EQ(f.Snapshot().rows(), 2);
}
