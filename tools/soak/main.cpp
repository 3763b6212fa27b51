// Runs many complete reads and writes of the real window against the simulated
// exchange and reports what the process holds before and after: resident memory,
// open descriptors, threads. Also the CPU the program uses while idle with the
// port open, and the time from start to the first request on the line.
#include "SimSetup.h"
#include "device/PacedSend.h"
#include "serial/Comm32.h"

#include "Spin.h"
#include <QApplication>

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

namespace {

struct Holdings {
    long rssKb = 0;
    int fds = 0;
    int threads = 0;
};

Holdings Measure() {
    Holdings h;
    h.fds = int(QDir(QStringLiteral("/proc/self/fd"))
                    .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                    .size());
    h.threads = int(QDir(QStringLiteral("/proc/self/task"))
                        .entryList(QDir::NoDotAndDotDot | QDir::Dirs)
                        .size());
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                h.rssKb = line.mid(6).trimmed().split(' ').value(0).toLong();
    return h;
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QElapsedTimer sinceStart; // from the program's start to its first request
    sinceStart.start();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions(
        {{"reads", "Complete read sequences.", "n", "2000"},
         {"writes", "Write sequences (shortened pacing).", "n", "20"},
         {"replugs", "Hang-ups of the line, each followed by the exchange's return.", "n", "200"},
         {"idle", "Seconds to sit idle with the port open.", "s", "60"},
         {"check", "Exit 1 when descriptors, threads or memory grew."},
         {"rss-slack", "Resident-memory growth --check allows; -1: not checked.", "kB", "4096"}});
    parser.process(app);
    const int reads = parser.value("reads").toInt();
    const int writes = parser.value("writes").toInt();
    const int replugs = parser.value("replugs").toInt();
    const int idle = parser.value("idle").toInt();
    const long rssSlack = parser.value("rss-slack").toLong();

    varnosim::TVarnoDevice exchange;
    varnosim::TSimOptions options;
    options.byteTimeMs = 0.05; // the soak is about what piles up, not the line rate
    TSimSetup setup(exchange, options);
    varnosim::TPtySimulator& sim = setup.sim();
    std::atomic<qint64> firstRequestNs{-1};
    sim.OnEvent = [&](const std::string& text) {
        if (text.rfind("request ", 0) == 0 && firstRequestNs < 0)
            firstRequestNs = sinceStart.nsecsElapsed();
    };
    if (!setup.Start())
        return 2;
    THauptFenster& w = setup.OpenWindow();
    w.show();
    auto readDone = [&] {
        return w.Sitzung().Transfer().CurrentState() == 2 &&
               w.Sitzung().Transfer().TimeoutLeft() == -1 &&
               w.findChild<QPushButton*>(QStringLiteral("LesenButton"))->isEnabled();
    };
    if (!w.findChild<TComm32*>(QStringLiteral("Communication"))->IsOpen() ||
        !tools::Spin(readDone, 20000)) {
        std::fprintf(stderr, "start-up read failed: %s\n", qPrintable(w.statusText(0)));
        return 2;
    }
    std::printf("start to first request on the line: %.1f ms (goal < 500 ms)\n",
                double(firstRequestNs) / 1e6);

    const Holdings before = Measure();
    // A read can fail when a loaded machine stalls the line for more than the
    // interval time-out; it then ends with its time-out, and the soak goes on.
    int failed = 0;
    for (int i = 0; i < reads; ++i) {
        w.LesenButtonClick();
        if (!tools::Spin(readDone, 20000)) {
            ++failed;
            tools::Spin([&] { return !w.TransferAktiv(); }, 20000);
        }
    }
    device::SetPacingStep(std::chrono::milliseconds(0));
    for (int i = 0; i < writes; ++i)
        w.OnSchreibenClick();
    device::SetPacingStep(std::chrono::milliseconds(50));
    // Unpaced, the last write may still be on its way; the exchange takes it whole
    // before its first unplugging.
    sim.WaitForWrites(writes * (w.Sitzung().Arrays().UsedPorts() + 3), 10000);
    // The adapter pulled and put back: the window lets the dead line go and the next
    // read opens the link anew.
    int lostReplugs = 0;
    for (int i = 0; i < replugs; ++i) {
        sim.Stop();
        const bool letGo = tools::Spin(
            [&] { return !w.findChild<TComm32*>(QStringLiteral("Communication"))->IsOpen(); },
            10000);
        if (!sim.Start()) {
            std::fprintf(stderr, "simulator did not come back\n");
            return 2;
        }
        w.LesenButtonClick();
        if (!letGo || !tools::Spin(readDone, 20000)) {
            ++lostReplugs;
            tools::Spin([&] { return !w.TransferAktiv(); }, 20000);
        }
    }
    {
        QEventLoop settle; // let the last posted events arrive
        QTimer::singleShot(300, &settle, &QEventLoop::quit);
        settle.exec();
    }
    const Holdings after = Measure();
    std::printf("%d reads (%d ended by their time-out), %d writes, %d replugs (%d not read "
                "back)\n",
                reads, failed, writes, replugs, lostReplugs);
    std::printf("  resident memory: %ld kB -> %ld kB\n", before.rssKb, after.rssKb);
    std::printf("  open descriptors: %d -> %d\n", before.fds, after.fds);
    std::printf("  threads: %d -> %d\n", before.threads, after.threads);

    if (idle > 0) {
        // Idle: the timer ticks, the reader waits in poll.
        w.findChild<QTimer*>(QStringLiteral("SekundenTimer"))->start();
        const double cpu0 = CpuSeconds();
        QElapsedTimer t;
        t.start();
        QEventLoop loop;
        QTimer::singleShot(idle * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        const double share = (CpuSeconds() - cpu0) / (double(t.elapsed()) / 1000) * 100;
        std::printf("idle for %d s with the port open: %.3f %% of one core (goal < 0.5 %%)\n", idle,
                    share);
    }
    w.BeendenButtonClick();
    sim.Stop();
    // Memory may settle a little higher after the first runs; a leak grows with the count.
    const bool grew = lostReplugs > 0 || after.fds > before.fds || after.threads > before.threads ||
                      (rssSlack >= 0 && after.rssKb > before.rssKb + rssSlack);
    if (parser.isSet("check") && grew) {
        std::fprintf(stderr, "soak: the process grew\n");
        return 1;
    }
    return 0;
}
