#include "charges/ChargeLog.h"
#include "config/ConfigHistory.h"
#include "config/ParameterFile.h"
#include "platform/IniFile.h"
#include "support/TestSupport.h"

#include <QFile>
#include <csignal>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using testsupport::readAll;

namespace {

constexpr int kKills = 30;
constexpr int kRowBytes = 94; // 92 characters and CR LF

// Runs `step` in a forked child over and over until the child is killed with
// SIGKILL a random few milliseconds (up to `latestUs`) after it started. `step` returns false on a
// failed write, which ends the child early so the parent sees it was not killed.
// Returns how many steps the child finished, as far as the parent can tell.
int RunAndKill(const std::function<bool()>& step, std::mt19937& rng, int latestUs = 20000) {
    int fds[2];
    if (::pipe(fds) != 0) {
        ADD_FAILURE() << "pipe";
        return 0;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        ADD_FAILURE() << "fork";
        return 0;
    }
    if (pid == 0) {
        ::close(fds[0]);
        const char ready = 'r';
        if (::write(fds[1], &ready, 1) != 1)
            ::_exit(2);
        for (;;) {
            if (!step())
                ::_exit(3);
            const char done = 'd'; // a full pipe only blocks the child, which is harmless
            if (::write(fds[1], &done, 1) != 1)
                ::_exit(2);
        }
    }
    ::close(fds[1]);
    char ready = 0;
    EXPECT_EQ(::read(fds[0], &ready, 1), 1);
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<int>(500, latestUs)(rng)));
    ::kill(pid, SIGKILL);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the writer ended by itself with status " << status;
    int steps = 0;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        steps += int(n);
    ::close(fds[0]);
    return steps;
}

struct CrashSafety : ::testing::Test {
    testsupport::ScratchHome home;
    std::mt19937 rng{std::random_device{}()};
    void SetUp() override { RecordProperty("seed", int(rng())); }
};

config::ConfigImage Pattern(int salt) {
    config::ConfigImage image;
    auto bytes = image.Bytes();
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = std::uint8_t(i * 13 + std::size_t(salt));
    return image;
}

// The log's rows: whole, after an intact header, with growing sums.
void ExpectWholeLog(const QByteArray& bytes, const char* what) {
    const QByteArray header = charges::LogHeader();
    ASSERT_TRUE(bytes.startsWith(header)) << what << ": header damaged";
    ASSERT_EQ((bytes.size() - header.size()) % kRowBytes, 0)
        << what << ": " << bytes.size() << " bytes are no whole rows";
    int lastSum = -1;
    for (qsizetype at = header.size(); at < bytes.size(); at += kRowBytes) {
        const QByteArray row = bytes.mid(at, kRowBytes);
        ASSERT_TRUE(row.startsWith("| ") && row.endsWith(" |\r\n")) << what << ": " << at;
        const int sum = charges::ParseRow(row.left(92)).sum;
        ASSERT_GT(sum, lastSum) << what << ": row at " << at;
        lastSum = sum;
    }
}

} // namespace

TEST_F(CrashSafety, ChargeLogAppendKeepsWholeRowsAndItsBackup) {
    const QString log = home.file("WinVarno.dat");
    const QString bak = home.file("WinVarno.bak");
    const QDateTime when(QDate(2026, 12, 7), QTime(9, 5));
    charges::LogState first;
    ASSERT_EQ(charges::LogCharges(log, bak, when, {1}, 8, first), charges::LogResult::Created);

    int steps = 0;
    qsizetype rows = 1;
    for (int kill = 0; kill < kKills; ++kill) {
        steps += RunAndKill(
            [&, state = charges::LogState{}, units = 0]() mutable {
                if (units == 0)
                    units = charges::ParseRow(charges::ReadLastLine(log).value_or("")).sum;
                if (units >= 99999)
                    return true; // the column is full; keep the child alive until killed
                ++units;
                return charges::LogCharges(log, bak, when, {units}, 8, state) ==
                       charges::LogResult::Appended;
            },
            rng);
        const QByteArray now = readAll(log);
        ASSERT_NO_FATAL_FAILURE(ExpectWholeLog(now, "log"));
        const qsizetype count = (now.size() - charges::LogHeader().size()) / kRowBytes;
        ASSERT_GE(count, rows) << "rows were lost";
        rows = count;
        if (QFile::exists(bak)) {
            const QByteArray backup = readAll(bak);
            ASSERT_NO_FATAL_FAILURE(ExpectWholeLog(backup, "backup"));
            EXPECT_TRUE(now.startsWith(backup)) << "the backup is no earlier state of the log";
        }
    }
    EXPECT_GT(steps, 0) << "no kill came after a finished append";
}

TEST_F(CrashSafety, ParameterFileSaveIsOldOrNew) {
    const QString path = home.file("Nacht.VRN");
    const config::ConfigImage a = Pattern(1), b = Pattern(2);
    ASSERT_TRUE(config::SaveParameterFile(path, a));

    int steps = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        steps += RunAndKill(
            [&, flip = false]() mutable {
                flip = !flip;
                return config::SaveParameterFile(path, flip ? b : a);
            },
            rng);
        const QByteArray now = readAll(path);
        ASSERT_TRUE(now == a.ToByteArray() || now == b.ToByteArray())
            << "after kill " << kill << " the file holds " << now.size() << " other bytes";
    }
    EXPECT_GT(steps, 0) << "no kill came after a finished save";
    RecordProperty("saves", steps);
}

// Killed while recording new configurations, the history still opens whole: every
// version it names loads, and none that was named is lost.
TEST_F(CrashSafety, HistoryRecordKeepsEveryNamedVersion) {
    const QString dir = home.file("Verlauf");
    std::size_t versions = 0;
    int steps = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        steps += RunAndKill(
            [&, history = config::ConfigHistory(dir), salt = kill * 100000]() mutable {
                config::ConfigImage image;
                ++salt;
                std::memcpy(image.Bytes().data() + 10, &salt, sizeof salt);
                return history.Record(image, config::Origin::Read).isNew;
            },
            rng, 150000); // a record waits for the disk twice: tens of milliseconds
        config::ConfigHistory history(dir);
        history.Open();
        ASSERT_TRUE(history.Problems().isEmpty()) << history.Problems().join(u'\n').toStdString();
        ASSERT_GE(history.Versions().size(), versions) << "versions were lost";
        versions = history.Versions().size();
        for (const config::HistoryVersion& v : history.Versions()) {
            QString reason;
            ASSERT_TRUE(history.Load(v.id, &reason)) << reason.toStdString();
        }
    }
    EXPECT_GT(steps, 0) << "no kill came after a finished record";
    RecordProperty("records", steps);
}

TEST_F(CrashSafety, SettingsSaveIsOldOrNew) {
    const QString path = platform::IniFile::SettingsPath();
    // A file of some size, with lines the program does not own, in both encodings.
    QByteArray original = "; von Hand\r\n[Allgemein]\r\nAnschlu\xdf=COM1\r\n[Fenster]\r\n"
                          "X-Position=1\r\n[Bezeichnungen]\r\n";
    for (int i = 0; i < 400; ++i)
        original +=
            "Zeile" + QByteArray::number(i) + "=B\xc3\xbcro " + QByteArray(i % 50, 'x') + "\r\n";
    testsupport::writeAll(path, original);
    const QString wide = QString(3000, u'9');
    platform::IniFile changed(path);
    changed.writeString(QStringLiteral("Fenster"), QStringLiteral("X-Position"), wide);
    const QByteArray other = changed.bytes();
    ASSERT_NE(other.size(), original.size());

    int steps = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        steps += RunAndKill(
            [&]() {
                platform::IniFile ini(path);
                const bool narrow = ini.readString(QStringLiteral("Fenster"),
                                                   QStringLiteral("X-Position"), {}) == wide;
                ini.writeString(QStringLiteral("Fenster"), QStringLiteral("X-Position"),
                                narrow ? QStringLiteral("1") : wide);
                return ini.save();
            },
            rng);
        const QByteArray now = readAll(path);
        ASSERT_TRUE(now == original || now == other)
            << "after kill " << kill << " the file holds " << now.size() << " other bytes";
    }
    EXPECT_GT(steps, 0) << "no kill came after a finished save";
}

// A kill while a new log is made must not leave an empty one, which later runs
// would fill with rows and no header.
TEST_F(CrashSafety, NewChargeLogHasItsHeaderOrIsAbsent) {
    const QString log = home.file("WinVarno.dat");
    const QDateTime when(QDate(2026, 12, 7), QTime(9, 5));
    for (int kill = 0; kill < kKills; ++kill) {
        RunAndKill(
            [&]() {
                QFile::remove(log);
                charges::LogState state;
                return charges::LogCharges(log, home.file("WinVarno.bak"), when, {7}, 8, state) ==
                       charges::LogResult::Created;
            },
            rng);
        if (QFile::exists(log)) {
            const QByteArray now = readAll(log);
            ASSERT_EQ(now, charges::LogHeader() + charges::LogRow(when, {7}, 7))
                << "after kill " << kill << " the new log holds " << now.size() << " bytes";
        }
    }
}
