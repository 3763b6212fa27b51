#include "charges/ChargeLog.h"
#include "charges/ChargeHistory.h"
#include "platform/UserFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace charges;
using testsupport::readAll;
using testsupport::writeAll;

namespace {

const QDateTime kNow(QDate(2026, 12, 7), QTime(9, 5));

struct LogFixture : ::testing::Test {
    testsupport::ScratchHome home;
    QString log = home.file("WinVarno.dat");
    QString bak = home.file("WinVarno.bak");
    LogState state;
    LogResult run(std::array<int, 8> counters, int ports = 8) {
        return LogCharges(log, bak, kNow, counters, ports, state);
    }
    QByteArray row(std::array<int, 8> counters, int sum) { return LogRow(kNow, counters, sum); }
};

} // namespace

TEST(ChargeLogFormat, RowsAre92CharactersAndReadBack) {
    const QByteArray header = LogHeader();
    for (const QByteArray& line : header.split('\n')) {
        if (!line.isEmpty()) {
            EXPECT_EQ(line.size(), 93) << line.constData(); // with its CR
        }
    }
    const QByteArray r = LogRow(kNow, {5, 0, 2, 0, 7, 0, 0, 65535}, 65542);
    EXPECT_EQ(r, "| 07.12.2026 09:05 |     5 |     0 |     2 |     0 |     7 |     0 |     0 "
                 "| 65535 | 65542 |\r\n");
    const LoggedRow back = ParseRow(r.left(92));
    EXPECT_EQ(back.units, (std::array<int, 8>{5, 0, 2, 0, 7, 0, 0, 65535}));
    EXPECT_EQ(back.sum, 65542);
}

TEST(ChargeLogFormat, HandEditedAndShortLines) {
    QByteArray edited = LogRow(kNow, {12, 0, 0, 0, 0, 0, 0, 0}, 12).left(92);
    edited[23] = '1'; // "    12" becomes "   1 2"
    edited[24] = ' ';
    EXPECT_EQ(ParseRow(edited).units[0], 12);
    EXPECT_EQ(ParseRow("| 07.12.2026").sum, 0);
    EXPECT_EQ(ParseRow("").units, (std::array<int, 8>{}));
    EXPECT_EQ(ParseRow(LogHeader().left(92)).sum, 0);
    // The sum is read from its leftmost digit up to the first non-digit.
    QByteArray sum(92, ' ');
    sum.replace(84, 6, " 12x34");
    EXPECT_EQ(ParseRow(sum).sum, 12);
}

TEST_F(LogFixture, FirstEvaluationCreatesHeaderAndARowOfZeros) {
    EXPECT_EQ(run({}), LogResult::Created);
    EXPECT_EQ(readAll(log), LogHeader() + row({}, 0));
    EXPECT_FALSE(QFile::exists(bak));
}

TEST_F(LogFixture, UnchangedCountersWriteNothingAndMakeNoBackup) {
    writeAll(log, LogHeader() + row({100, 20, 0, 0, 0, 0, 0, 0}, 120));
    // A port the exchange does not have is not looked at.
    EXPECT_EQ(run({100, 20, 0, 0, 0, 0, 0, 5}, 7), LogResult::Unchanged);
    EXPECT_EQ(readAll(log), LogHeader() + row({100, 20, 0, 0, 0, 0, 0, 0}, 120));
    EXPECT_FALSE(QFile::exists(bak));
    EXPECT_EQ(state.loggedSum, 120);
    EXPECT_EQ(state.loggedUnits[0], 100);
}

TEST_F(LogFixture, GrowthMakesTheBackupOncePerRunThenAppends) {
    const QByteArray before = LogHeader() + row({100, 20, 0, 0, 0, 0, 0, 0}, 120);
    writeAll(log, before);
    writeAll(bak, "old backup");
    EXPECT_EQ(run({101, 20, 0, 0, 0, 0, 0, 0}), LogResult::Appended);
    EXPECT_EQ(readAll(bak), before);
    EXPECT_EQ(readAll(log), before + row({101, 20, 0, 0, 0, 0, 0, 0}, 121));
    EXPECT_FALSE(state.backupPending);
    EXPECT_EQ(run({102, 20, 0, 0, 0, 0, 0, 0}), LogResult::Appended);
    EXPECT_EQ(readAll(bak), before) << "no second copy in one run";
    EXPECT_EQ(state.loggedSum, 121);
}

TEST_F(LogFixture, SumOverThePortsTheExchangeHasButEveryCounterLogged) {
    EXPECT_EQ(run({5, 0, 2, 0, 7, 0, 0, 0}, 4), LogResult::Created);
    const QByteArray last = readAll(log).split('\n').at(3);
    EXPECT_EQ(ParseRow(last).units, (std::array<int, 8>{5, 0, 2, 0, 7, 0, 0, 0}));
    EXPECT_EQ(ParseRow(last).sum, 7);
}

TEST_F(LogFixture, AResetIsARowAndIncreasesCountFromIt) {
    writeAll(log, LogHeader() + row({500, 0, 0, 0, 0, 0, 0, 0}, 500));
    EXPECT_EQ(run({0, 0, 0, 0, 0, 0, 0, 0}), LogResult::Appended);
    EXPECT_EQ(state.loggedUnits[0], 500);
    EXPECT_EQ(run({30, 0, 0, 0, 0, 0, 0, 0}), LogResult::Appended);
    EXPECT_EQ(state.loggedUnits[0], 0) << "the next increase counts from the reset";
    EXPECT_EQ(run({0, 30, 0, 0, 0, 0, 0, 0}), LogResult::Appended) << "same sum, other ports";
}

TEST_F(LogFixture, LineEndsOfAnyShapeAndWhereTheLogIsALink) {
    // A lone CR ends the last line: the row gets only the LF it lacks.
    writeAll(log, LogHeader() + row({7, 0, 0, 0, 0, 0, 0, 0}, 7).left(93));
    EXPECT_EQ(run({8, 0, 0, 0, 0, 0, 0, 0}), LogResult::Appended);
    EXPECT_TRUE(readAll(log).endsWith("\r\n" + row({8, 0, 0, 0, 0, 0, 0, 0}, 8)));
    // Rows with CR alone, then lines of blanks: still the last row.
    writeAll(log, row({3, 0, 0, 0, 0, 0, 0, 0}, 3).left(92) + "\r" +
                      row({4, 0, 0, 0, 0, 0, 0, 0}, 4).left(92) + "\r  \r\t\n\n");
    EXPECT_EQ(ReadLastLine(log), row({4, 0, 0, 0, 0, 0, 0, 0}, 4).left(92));
    // Megabytes of blank lines or of one line hold no row: the row comes anyway.
    writeAll(log, row({4, 0, 0, 0, 0, 0, 0, 0}, 4) + QByteArray(1 << 20, '\n'));
    EXPECT_EQ(ReadLastLine(log), QByteArray());
    writeAll(log, row({4, 0, 0, 0, 0, 0, 0, 0}, 4) + QByteArray(1 << 20, '4'));
    EXPECT_EQ(ReadLastLine(log), QByteArray());

    // A link whose target is not there yet: the log is made where it points, with
    // the user's umask.
    const QString target = home.file("Ablage/Gebuehren.dat");
    QDir().mkpath(home.file("Ablage"));
    QFile::remove(log);
    ASSERT_TRUE(QFile::link(target, log));
    const mode_t old = ::umask(027);
    EXPECT_EQ(run({1, 0, 0, 0, 0, 0, 0, 0}), LogResult::Created);
    ::umask(old);
    EXPECT_TRUE(QFileInfo(log).isSymLink());
    EXPECT_EQ(readAll(target), LogHeader() + row({1, 0, 0, 0, 0, 0, 0, 0}, 1));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(LogFixture, AnUnreadableLogKeepsItsContent) {
    QDir().mkpath(log); // exists, but is nothing a row could be read from
    EXPECT_EQ(run({1, 0, 0, 0, 0, 0, 0, 0}), LogResult::Unreadable);
    EXPECT_TRUE(QFileInfo(log).isDir());
    EXPECT_FALSE(QFile::exists(bak));
    // A FIFO would block the first read until some writer came: refused at once.
    QDir().rmdir(log);
    ASSERT_TRUE(testsupport::makeFifo(log));
    EXPECT_EQ(run({1, 0, 0, 0, 0, 0, 0, 0}), LogResult::Unreadable);
    EXPECT_EQ(state.error, platform::kNotRegularFile);
    EXPECT_FALSE(ReadLastLine(log).has_value());
    EXPECT_FALSE(ReadHistory(log).has_value());
    EXPECT_FALSE(QFile::exists(bak));
}

TEST_F(LogFixture, ARowCutShortIsEndedAndTheIncreasesCountFromTheRowBefore) {
    const QByteArray whole = LogHeader() + row({100, 0, 0, 0, 0, 0, 0, 0}, 100);
    const QByteArray piece = row({150, 0, 0, 0, 0, 0, 0, 0}, 150).left(40);
    writeAll(log, whole + piece);
    EXPECT_EQ(run({160, 0, 0, 0, 0, 0, 0, 0}), LogResult::Appended);
    EXPECT_TRUE(state.cutRow);
    EXPECT_EQ(state.loggedUnits[0], 100);
    EXPECT_EQ(state.loggedSum, 100);
    EXPECT_EQ(readAll(log), whole + piece + "\r\n" + row({160, 0, 0, 0, 0, 0, 0, 0}, 160))
        << "the piece stays, on a line of its own";
    EXPECT_EQ(run({160, 0, 0, 0, 0, 0, 0, 0}), LogResult::Unchanged);
    EXPECT_FALSE(state.cutRow);

    // A piece that got its line end is still no row, nor is a second piece after it.
    const QByteArray second = row({170, 0, 0, 0, 0, 0, 0, 0}, 170).left(91);
    writeAll(log, whole + piece + "\r\n" + second);
    EXPECT_EQ(run({170, 0, 0, 0, 0, 0, 0, 0}), LogResult::Appended);
    EXPECT_TRUE(state.cutRow);
    EXPECT_EQ(state.loggedUnits[0], 100);
    // A row whose CR came but not its LF is whole.
    writeAll(log, whole + row({180, 0, 0, 0, 0, 0, 0, 0}, 180).left(93));
    EXPECT_EQ(run({180, 0, 0, 0, 0, 0, 0, 0}), LogResult::Unchanged);
    EXPECT_FALSE(state.cutRow);
}

TEST_F(LogFixture, AFullDiskCutsTheRowAndTheNextVisitMendsIt) {
    const QByteArray whole = LogHeader() + row({100, 0, 0, 0, 0, 0, 0, 0}, 100);
    writeAll(log, whole);
    state.backupPending = false;
    {
        testsupport::FileSizeLimit full(whole.size() + 50);
        EXPECT_EQ(run({101, 0, 0, 0, 0, 0, 0, 0}), LogResult::WriteFailed);
        EXPECT_EQ(state.error, EFBIG);
    }
    EXPECT_EQ(readAll(log), whole + row({101, 0, 0, 0, 0, 0, 0, 0}, 101).left(50));
    EXPECT_EQ(run({102, 0, 0, 0, 0, 0, 0, 0}), LogResult::Appended);
    EXPECT_TRUE(state.cutRow);
    EXPECT_EQ(state.loggedUnits[0], 100);
    EXPECT_TRUE(readAll(log).endsWith("\r\n" + row({102, 0, 0, 0, 0, 0, 0, 0}, 102)));
}

TEST_F(LogFixture, EditedTailsAreReadSafely) {
    // No final line end: the new row still starts on a line of its own.
    const QByteArray cut = LogHeader() + row({7, 0, 0, 0, 0, 0, 0, 0}, 7).left(92);
    writeAll(log, cut);
    EXPECT_EQ(run({8, 0, 0, 0, 0, 0, 0, 0}), LogResult::Appended);
    EXPECT_EQ(readAll(log), cut + "\r\n" + row({8, 0, 0, 0, 0, 0, 0, 0}, 8));
    // Blank lines at the end do not hide the last row.
    writeAll(log, LogHeader() + row({9, 0, 0, 0, 0, 0, 0, 0}, 9) + "\r\n\r\n");
    EXPECT_EQ(run({9, 0, 0, 0, 0, 0, 0, 0}), LogResult::Unchanged);
    // An empty log: zeros, and a row once anything is counted.
    writeAll(log, "");
    EXPECT_EQ(run({0, 0, 0, 0, 0, 0, 0, 0}), LogResult::Unchanged);
    EXPECT_EQ(run({1, 0, 0, 0, 0, 0, 0, 0}), LogResult::Appended);
    EXPECT_EQ(readAll(log), row({1, 0, 0, 0, 0, 0, 0, 0}, 1));
}

TEST_F(LogFixture, TheLastLineOfALongLogComesFromItsTail) {
    QByteArray big = LogHeader();
    for (int i = 0; i < 20000; ++i)
        big += row({i % 100, 0, 0, 0, 0, 0, 0, 0}, i);
    big += "garbage line longer than a chunk " + QByteArray(9000, 'x').replace('x', "7") + "\r\n";
    big += row({4, 4, 4, 4, 4, 4, 4, 4}, 99999);
    writeAll(log, big);
    EXPECT_EQ(ReadLastLine(log), row({4, 4, 4, 4, 4, 4, 4, 4}, 99999).left(92));
    writeAll(log, big + QByteArray(9000, '7'));
    EXPECT_EQ(ReadLastLine(log), QByteArray(100, '7')) << "at most 100 characters kept";
    EXPECT_FALSE(ReadLastLine(home.file("missing.dat")).has_value());
}
