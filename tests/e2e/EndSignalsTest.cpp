// The program as a desktop logout or a Ctrl+C ends it: a signal in the middle of a
// scheduled write, and with a FIFO where one of its files should be.
#include "PtySimulator.h"
#include "config/ConfigDiff.h"
#include "config/ParameterFile.h"
#include "platform/SingleInstance.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// The program's clock starts three seconds before a minute ends, through libfaketime
// when it is there, so an entry for the next minute comes due at once instead of up
// to a minute later; without it, the real clock. The time the program starts with.
QDateTime KurzVorMinute(QProcessEnvironment& env) {
    const QString faketime =
        QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1");
    QDateTime now = QDateTime::currentDateTime();
    if (!QFileInfo::exists(faketime))
        return now;
    const QTime t = now.time();
    now.setTime(QTime(t.hour(), t.minute(), 57));
    env.insert(QStringLiteral("LD_PRELOAD"), faketime);
    env.insert(QStringLiteral("FAKETIME"), now.toString(QStringLiteral("'@'yyyy-MM-dd HH:mm:ss")));
    // Timers and time-outs keep the real pace.
    env.insert(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
    // An ASan build wants its runtime first; the preloaded clock comes before it.
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                   QStringLiteral(":verify_asan_link_order=0"));
    return now;
}

// Line bytes of the start-up read's three requests, and of a whole write with 8 ports.
constexpr long kReadRequests = 3 * 4;
constexpr long kWholeWrite = 144 + 8 * 32 + 4 + 172;

struct EndSignal : testing::TestWithParam<int> {};

TEST_P(EndSignal, MidWriteEndsTheProgramWithItsPortAndLock) {
    testsupport::ScratchHome home;
    varnosim::TSimOptions options;
    options.byteTimeMs = 0.05;
    varnosim::TPtySimulator sim(varnosim::TVarnoDevice{}, options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;

    // A copy of the program in the scratch home keeps its charge log there too.
    const QString program = home.file("WinVarno");
    ASSERT_TRUE(QFile::copy(QStringLiteral(WINVARNO_EXE), program));
    const QString file = home.file("tag.vrn");
    config::ConfigImage eightPorts;
    const varnosim::TImage image = varnosim::DefaultImage();
    std::copy(image.begin(), image.end(), eightPorts.Bytes().begin());
    // Another configuration than the exchange's, or the scheduled load would write
    // nothing. (The simulated exchange's MSN 0 is 4711 already.)
    const config::ConfigImage exchange = eightPorts;
    eightPorts.SetMsnText(0, u"4799");
    ASSERT_FALSE(config::CompareConfigurations(exchange, eightPorts).empty());
    ASSERT_TRUE(config::SaveParameterFile(file, eightPorts));
    // The schedule fires at the first tick after the start-up read; an entry for
    // the next minute as well covers a start just before the minute ends.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QDateTime now = KurzVorMinute(env);
    QByteArray ini = "[Allgemein]\nAnschluß=COM1\n[Schnittstellen]\nCOM1=" +
                     QByteArray::fromStdString(sim.DevicePath()) + "\n";
    for (int n = 1; n <= 2; ++n)
        ini += QStringLiteral("[Zeitpunkt%1]\nZeit=%2\nDatei=%3\n")
                   .arg(n)
                   .arg(now.addSecs(60 * (n - 1)).toString(QStringLiteral("HHmm")), file)
                   .toUtf8();
    testsupport::writeAll(home.file("WinVarno.INI"), ini);

    QProcess winvarno;
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    winvarno.setProcessEnvironment(env);
    winvarno.start(program, {});
    ASSERT_TRUE(winvarno.waitForStarted());
    if (!sim.WaitForReceived(kReadRequests + 40, 90000)) {
        winvarno.kill();
        winvarno.waitForFinished();
        FAIL() << "the scheduled write never started";
    }

    QElapsedTimer ended;
    ended.start();
    ASSERT_EQ(::kill(pid_t(winvarno.processId()), GetParam()), 0);
    const bool finished = winvarno.waitForFinished(20000);
    const qint64 ms = ended.elapsed();
    if (!finished)
        winvarno.kill();
    ASSERT_TRUE(finished) << "still running after the signal";
    std::printf("signal %d: ended after %lld ms\n", GetParam(), static_cast<long long>(ms));
    EXPECT_EQ(winvarno.exitStatus(), QProcess::NormalExit) << "ended by itself, not killed";
    // 0 from the window's own end; on a machine too busy for that within the
    // deadline, 128 + the signal from the deadline. Either is an end by itself.
    EXPECT_TRUE(winvarno.exitCode() == 0 || winvarno.exitCode() == 128 + GetParam())
        << winvarno.exitCode();
    EXPECT_FALSE(sim.WaitForReceived(kReadRequests + kWholeWrite, 500))
        << "the write stopped between two line bytes";
    platform::SingleInstance next(QStringLiteral("Varno KM20/KM50 - Konfiguration"));
    EXPECT_FALSE(next.alreadyRunning()) << "the lock is free again";
    sim.Stop();
}

INSTANTIATE_TEST_SUITE_P(Signals, EndSignal, testing::Values(SIGTERM, SIGINT, SIGHUP));

// A FIFO in place of a file the program reads or writes on its own: it used to
// wait there for a partner forever, deaf to SIGTERM, holding the lock. The test
// sees the program open and close the FIFO (inotify reports the close of an open
// that returned; a blocked open never does), then ends it with SIGTERM.
enum class Place { Settings, ChargeLog, Budget, Schedule };

struct FifoIn : testing::TestWithParam<Place> {};

TEST_P(FifoIn, ThePlaceIsRefusedAndTheProgramEndsOnSigterm) {
    testsupport::ScratchHome home;
    varnosim::TSimOptions options;
    options.byteTimeMs = 0.05;
    varnosim::TPtySimulator sim(varnosim::TVarnoDevice{}, options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    const QString program = home.file("WinVarno");
    ASSERT_TRUE(QFile::copy(QStringLiteral(WINVARNO_EXE), program));

    QByteArray ini = "[Allgemein]\nAnschluß=COM1\nKosten=1,00\n[Budget]\nSumme=0,01\n"
                     "[Schnittstellen]\nCOM1=" +
                     QByteArray::fromStdString(sim.DevicePath()) + "\n";
    QString fifo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    switch (GetParam()) {
    case Place::Settings:
        fifo = home.file("WinVarno.INI");
        break;
    case Place::ChargeLog:
        fifo = home.file("WinVarno.dat");
        break;
    case Place::Budget:
        fifo = home.file("WinVarno.budget");
        break;
    case Place::Schedule: {
        fifo = home.file("tag.vrn");
        const QDateTime now = KurzVorMinute(env);
        for (int n = 1; n <= 2; ++n)
            ini += QStringLiteral("[Zeitpunkt%1]\nZeit=%2\nDatei=%3\n")
                       .arg(n)
                       .arg(now.addSecs(60 * (n - 1)).toString(QStringLiteral("HHmm")), fifo)
                       .toUtf8();
        break;
    }
    }
    if (GetParam() != Place::Settings)
        testsupport::writeAll(home.file("WinVarno.INI"), ini);
    ASSERT_TRUE(testsupport::makeFifo(fifo));
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(fifo).constData(), IN_CLOSE), 0);

    QProcess winvarno;
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    winvarno.setProcessEnvironment(env);
    winvarno.start(program, {});
    ASSERT_TRUE(winvarno.waitForStarted());
    pollfd ready{watch, POLLIN, 0};
    // A scheduled entry comes due at the latest with the next minute.
    const bool touched = ::poll(&ready, 1, 150000) == 1;
    ::close(watch);
    if (!touched) {
        winvarno.kill();
        winvarno.waitForFinished();
        FAIL() << "the program never opened and closed the FIFO";
    }

    ASSERT_EQ(::kill(pid_t(winvarno.processId()), SIGTERM), 0);
    const bool finished = winvarno.waitForFinished(20000);
    if (!finished)
        winvarno.kill();
    ASSERT_TRUE(finished) << "still running after SIGTERM";
    EXPECT_EQ(winvarno.exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(winvarno.exitCode() == 0 || winvarno.exitCode() == 128 + SIGTERM)
        << winvarno.exitCode();
    EXPECT_FALSE(QFileInfo(fifo).isFile()) << "the FIFO was not replaced";
    sim.Stop();
}

INSTANTIATE_TEST_SUITE_P(Places, FifoIn,
                         testing::Values(Place::Settings, Place::ChargeLog, Place::Budget,
                                         Place::Schedule));

} // namespace
