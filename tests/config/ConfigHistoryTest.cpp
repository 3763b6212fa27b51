#include "config/ConfigHistory.h"
#include "config/ConfigDiff.h"
#include "config/ParameterFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

using config::ConfigHistory;
using config::ConfigImage;
using config::Origin;
using testsupport::readAll;
using testsupport::writeAll;

ConfigImage Configuration(int salt) {
    ConfigImage image;
    for (std::size_t i = 0; i < image.Bytes().size(); ++i)
        image.Bytes()[i] = std::uint8_t(i * 7 + std::size_t(salt));
    image.Bytes()[2] = 8;
    return image;
}

struct History : ::testing::Test {
    testsupport::ScratchHome home;
    QDateTime now{QDate(2026, 12, 7), QTime(9, 5, 30), Qt::UTC};
    QString dir = home.file("Verlauf");
    ConfigHistory Make() {
        return ConfigHistory(dir, [this] { return now; });
    }
};

TEST_F(History, KeepsEachConfigurationOnceWithTimeAndOrigin) {
    ConfigHistory h = Make();
    h.Open();
    EXPECT_TRUE(h.Versions().empty());
    EXPECT_TRUE(h.Problems().isEmpty());

    const ConfigImage a = Configuration(1), b = Configuration(2);
    EXPECT_EQ(h.Record(a, Origin::Read).id, 1);
    // The same configuration with other counters and command bytes, as a write leaves it.
    ConfigImage written = a;
    written.Bytes()[0] = 9;
    written.SetUnitCounterValue(3, 4711);
    now = now.addSecs(60);
    const config::RecordResult again = h.Record(written, Origin::Written);
    EXPECT_FALSE(again.isNew);
    EXPECT_EQ(again.id, 1);
    EXPECT_TRUE(again.error.isEmpty());
    const config::RecordResult second = h.Record(b, Origin::Schedule, QStringLiteral("2"));
    EXPECT_TRUE(second.isNew);
    EXPECT_EQ(second.id, 2);
    EXPECT_FALSE(h.Record(a, Origin::Restored).isNew);

    ConfigHistory reopened = Make();
    reopened.Open();
    EXPECT_TRUE(reopened.Problems().isEmpty()) << reopened.Problems().join(u'\n').toStdString();
    ASSERT_EQ(reopened.Versions().size(), 2u);
    const config::HistoryVersion& first = reopened.Versions()[0];
    const config::HistoryVersion& later = reopened.Versions()[1];
    EXPECT_EQ(first.time, QDateTime(QDate(2026, 12, 7), QTime(9, 5, 30), Qt::UTC));
    EXPECT_EQ(config::OriginText(first.origin, first.detail), u"gelesen"_qs);
    EXPECT_EQ(config::OriginText(later.origin, later.detail), u"Zeitpunkt 2"_qs);
    EXPECT_EQ(later.time, QDateTime(QDate(2026, 12, 7), QTime(9, 6, 30), Qt::UTC));
    EXPECT_TRUE(first.file.startsWith(u"000001_20261207-"_qs)) << first.file.toStdString();

    // An ordinary parameter file: "Öffnen..." loads it like any other.
    EXPECT_EQ(QFile(reopened.FilePath(later)).size(), 588);
    ConfigImage opened;
    ASSERT_TRUE(config::LoadParameterFile(reopened.FilePath(later), opened));
    EXPECT_TRUE(config::CompareConfigurations(b, opened).empty());
    const std::optional<ConfigImage> loaded = reopened.Load(1);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(*loaded, config::ConfigurationOnly(a));
}

// The program and the service both record: neither loses the other's versions.
TEST_F(History, TwoWritersShareOneIndex) {
    ConfigHistory first = Make(), second = Make();
    EXPECT_EQ(first.Record(Configuration(1), Origin::Read).id, 1);
    EXPECT_EQ(second.Record(Configuration(2), Origin::Written).id, 2);
    EXPECT_EQ(first.Record(Configuration(3), Origin::Read).id, 3);
    const config::RecordResult seen = first.Record(Configuration(2), Origin::Read);
    EXPECT_FALSE(seen.isNew);
    EXPECT_EQ(seen.id, 2);
    ConfigHistory reopened = Make();
    reopened.Open();
    EXPECT_EQ(reopened.Versions().size(), 3u);
}

TEST(HistoryOrigin, HasItsGermanText) {
    const std::pair<Origin, const char16_t*> rows[] = {
        {Origin::Read, u"gelesen"},
        {Origin::Written, u"geschrieben"},
        {Origin::Schedule, u"Zeitpunkt 3"},
        {Origin::File, u"Datei Nacht.vrn"},
        {Origin::Restored, u"wiederhergestellt"},
        {Origin::ChangedAtExchange, u"an der Anlage geändert"},
    };
    const QString details[] = {{}, {}, u"3"_qs, u"Nacht.vrn"_qs, {}, {}};
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(config::OriginText(rows[i].first, details[i]),
                  QString::fromUtf16(rows[i].second));
}

// Lines that cannot be used are skipped with their reason and kept as they were;
// new versions get numbers above every number seen.
TEST_F(History, DamagedIndexLinesAreSkippedAndKept) {
    {
        ConfigHistory h = Make();
        ASSERT_TRUE(h.Record(Configuration(1), Origin::File, QStringLiteral("a\tb\nc.vrn")).isNew);
    }
    const QString index = dir + "/Index.txt";
    const QByteArray good = readAll(index);
    const QByteArray key = QByteArray(32, 'a');
    const QByteArray bad[] = {
        QByteArray("\x00\xff\xfe garbage", 12),
        "7\t2026-12-07T09:05:30Z\tgelesen\t" + key + "\t000007_x.vrn",        // a column short
        "8\t2026-13-07T09:05:30Z\tgelesen\t" + key + "\t000008_x.vrn\t",      // no such month
        "9\t2026-12-07T09:05:30Z\tgeraten\t" + key + "\t000009_x.vrn\t",      // unknown origin
        "10\t2026-12-07T09:05:30Z\tgelesen\tXYZ\t000010_x.vrn\t",             // no key
        "40\t2026-12-07T09:05:30Z\tgelesen\t" + key + "\t../../etc/passwd\t", // not a plain name
        "1\t2026-12-07T09:05:30Z\tgelesen\t" + key + "\t000001_x.vrn\t",      // number taken
    };
    QByteArray damaged = good;
    for (const QByteArray& line : bad)
        damaged += line + '\n';
    writeAll(index, damaged);

    ConfigHistory h = Make();
    h.Open();
    ASSERT_EQ(h.Versions().size(), 1u);
    EXPECT_EQ(h.Versions()[0].detail, u"a b c.vrn"_qs);
    ASSERT_EQ(h.Problems().size(), qsizetype(std::size(bad)));
    EXPECT_EQ(h.Problems()[0],
              u"Konfigurationsverlauf, Zeile 3 übersprungen: 1 statt 6 Spalten"_qs);
    EXPECT_TRUE(h.Problems()[5].endsWith(u"ungültiger Dateiname"_qs));

    const config::RecordResult added = h.Record(Configuration(2), Origin::Read);
    EXPECT_EQ(added.id, 41);
    const QByteArray rewritten = readAll(index);
    for (const QByteArray& line : bad)
        EXPECT_TRUE(rewritten.contains(line + '\n'));

    // A whole index of garbage: nothing usable, no crash.
    QByteArray noise(1 << 16, '\0');
    for (qsizetype i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919) % 251);
    writeAll(index, noise);
    h.Open();
    EXPECT_TRUE(h.Versions().empty());
    EXPECT_FALSE(h.Problems().isEmpty());
}

// A file that is missing, short or changed is reported when loaded, and written
// anew when its configuration comes again.
TEST_F(History, DamagedEntryIsReportedAndMendedWhenSeenAgain) {
    ConfigHistory h = Make();
    const ConfigImage a = Configuration(1);
    ASSERT_TRUE(h.Record(a, Origin::Read).isNew);
    const QString file = h.FilePath(h.Versions()[0]);
    const QByteArray stored = readAll(file);
    QByteArray changed = stored;
    changed[30] = char(changed[30] ^ 1);
    const std::pair<QByteArray, const char16_t*> damages[] = {
        {stored.left(100), u"Version 1: Datei %1 hat 100 statt 588 Bytes"},
        {stored + "x", u"Version 1: Datei %1 hat mehr als 588 Bytes"},
        {changed, u"Version 1: Datei %1 ist beschädigt"},
    };
    for (const auto& [bytes, why] : damages) {
        writeAll(file, bytes);
        QString reason;
        EXPECT_FALSE(h.Load(1, &reason));
        EXPECT_EQ(reason, QString::fromUtf16(why).arg(file));
        EXPECT_FALSE(h.Record(a, Origin::Read).isNew);
        EXPECT_EQ(readAll(file), stored);
    }
    QFile::remove(file);
    QString reason;
    EXPECT_FALSE(h.Load(1, &reason));
    EXPECT_TRUE(reason.startsWith(u"Version 1: Datei"_qs));
    EXPECT_FALSE(h.Load(2, &reason));
    EXPECT_EQ(reason, u"Version 2 gibt es im Konfigurationsverlauf nicht"_qs);
    h.Record(a, Origin::Read);
    EXPECT_TRUE(h.Load(1));
}

// Nothing is named that is not wholly on disk.
TEST_F(History, FailedWritesKeepNoVersion) {
    ConfigHistory h = Make();
    ASSERT_TRUE(h.Record(Configuration(1), Origin::Read).isNew);
    const QByteArray index = readAll(h.IndexPath());

    // The entry cannot be written: its name is taken by a directory.
    ASSERT_TRUE(QDir().mkpath(dir + "/000002_" + now.toLocalTime().toString(u"yyyyMMdd-HHmmss"_qs) +
                              ".vrn"));
    config::RecordResult r = h.Record(Configuration(2), Origin::Read);
    EXPECT_EQ(r.id, 0);
    EXPECT_TRUE(r.error.startsWith(u"Datei "_qs)) << r.error.toStdString();
    EXPECT_EQ(h.Versions().size(), 1u);
    EXPECT_EQ(readAll(h.IndexPath()), index);

    // The index cannot be replaced.
    now = now.addSecs(1);
    QFile::remove(h.IndexPath());
    ASSERT_TRUE(QDir().mkpath(h.IndexPath() + "/x"));
    r = h.Record(Configuration(3), Origin::Read);
    EXPECT_FALSE(r.isNew);
    EXPECT_FALSE(r.error.isEmpty());
    h.Open();
    EXPECT_EQ(h.Problems().size(), 1);

    // No directory can be made.
    writeAll(home.file("Datei"), "x");
    ConfigHistory blocked(home.file("Datei") + "/Verlauf");
    EXPECT_FALSE(blocked.Record(Configuration(1), Origin::Read).error.isEmpty());
}

} // namespace
