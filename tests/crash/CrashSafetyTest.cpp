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
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using testsupport::readAll;

namespace {

constexpr int kKills = 30;
constexpr int kRowBytes = 94; // 92 characters and CR LF

// Runs `step` in a forked child over and over until the child is killed with
// SIGKILL a random few milliseconds (up to `latestUs`) after its first step finished (so every kill
// meets a file some step has written). `step` returns false on a failed write,
// which ends the child early so the parent sees it was not killed. Returns how
// many steps the child finished, as far as the parent can tell.
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
    char ready = 0, first = 0;
    EXPECT_EQ(::read(fds[0], &ready, 1), 1);
    EXPECT_EQ(::read(fds[0], &first, 1), 1) << "the first step did not finish";
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<int>(500, latestUs)(rng)));
    ::kill(pid, SIGKILL);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the writer ended by itself with status " << status;
    int steps = first == 'd' ? 1 : 0;
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

} // namespace

// Runs `write` in a forked child that may let its files grow to `limit` bytes: the
// write that crosses it stops at that byte, and the next one kills the child with
// SIGXFSZ, just as a SIGKILL or a full disk leaves a write cut at a page. Returns
// whether the child died that way.
bool DiesInTheWrite(qint64 limit, const std::function<void()>& write) {
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        rlimit r{};
        ::getrlimit(RLIMIT_FSIZE, &r);
        r.rlim_cur = rlim_t(limit);
        std::signal(SIGXFSZ, SIG_DFL);
        if (::setrlimit(RLIMIT_FSIZE, &r) != 0)
            ::_exit(2);
        write();
        ::_exit(0);
    }
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ;
}

// A row cut at every byte: the next evaluation counts from the last whole row, ends
// the piece's line and appends a whole row; nothing is removed.
TEST_F(CrashSafety, ChargeLogRowCutAtAnyByteIsMendedByTheNextVisit) {
    const QString log = home.file("WinVarno.dat");
    const QString bak = home.file("WinVarno.bak");
    const QDateTime when(QDate(2026, 12, 7), QTime(9, 5));
    const QByteArray whole = charges::LogHeader() + charges::LogRow(when, {100}, 100);
    for (int cut = 1; cut < kRowBytes; ++cut) {
        SCOPED_TRACE(cut);
        testsupport::writeAll(log, whole);
        ASSERT_TRUE(DiesInTheWrite(whole.size() + cut, [&] {
            charges::LogState state;
            state.backupPending = false;
            charges::LogCharges(log, bak, when, {150}, 8, state);
        }));
        const QByteArray piece = charges::LogRow(when, {150}, 150).left(cut);
        ASSERT_EQ(readAll(log), whole + piece);

        charges::LogState state;
        ASSERT_EQ(charges::LogCharges(log, bak, when, {160}, 8, state),
                  charges::LogResult::Appended);
        // A row cut only in its line end is whole; the line end is completed.
        const bool wholeRow = cut >= kRowBytes - 2;
        EXPECT_EQ(state.cutRow, !wholeRow);
        EXPECT_EQ(state.loggedUnits[0], wholeRow ? 150 : 100);
        EXPECT_EQ(readAll(bak), whole + piece) << "the backup is the log before the row";
        EXPECT_EQ(readAll(log), whole + piece + (cut == kRowBytes - 1 ? "\n" : "\r\n") +
                                    charges::LogRow(when, {160}, 160));
    }
}

// Cut in the middle of writing the new version: the file is the old one.
TEST_F(CrashSafety, SavesCutInTheirWriteKeepTheOldFile) {
    const QString path = home.file("Nacht.VRN");
    const config::ConfigImage a = Pattern(1), b = Pattern(2);
    ASSERT_TRUE(config::SaveParameterFile(path, a));
    const QString ini = platform::IniFile::SettingsPath();
    const QByteArray settings = "[Fenster]\r\nX-Position=1\r\n" + QByteArray(5000, ';') + "\r\n";
    testsupport::writeAll(ini, settings);
    for (const qint64 cut : {qint64(0), qint64(1), qint64(300), qint64(4096)}) {
        SCOPED_TRACE(cut);
        if (cut < config::ConfigImage::Size) {
            EXPECT_TRUE(DiesInTheWrite(cut, [&] { config::SaveParameterFile(path, b); }));
        }
        EXPECT_EQ(readAll(path), a.ToByteArray());
        EXPECT_TRUE(DiesInTheWrite(cut, [&] {
            platform::IniFile file(ini);
            file.writeString(QStringLiteral("Fenster"), QStringLiteral("X-Position"),
                             QStringLiteral("2"));
            file.save();
        }));
        EXPECT_EQ(readAll(ini), settings);
    }
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
    RecordProperty("saves", steps);
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
