// Timings of TComm32 against the simulated exchange; run by hand, not by ctest.

#include "PtySimulator.h"
#include "serial/Comm32.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s min %8.2f  median %8.2f  max %8.2f ms  (n=%zu)\n", what, ms.front(),
                ms[ms.size() / 2], ms.back(), ms.size());
}

double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void Spin(const std::function<bool()>& done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    varnosim::TPtySimulator sim(varnosim::TVarnoDevice{}, varnosim::TSimOptions{});
    if (!sim.Start())
        return 1;
    TComm32 comm;
    comm.SetCommPort(QString::fromStdString(sim.DevicePath()));

    int blocks = 0;
    comm.OnReceiveData = [&](const char*, uint16_t) { ++blocks; };
    comm.OpenPort();
    std::vector<double> latency;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer t;
        t.start();
        const int before = blocks;
        comm.SendData(QByteArray("\x83\x0A\x00\x00", 4));
        Spin([&] { return blocks > before; });
        latency.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    Report("basic request to OnReceiveData (152 bytes)", latency);

    std::vector<double> closeIdle, cycle;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer t;
        t.start();
        comm.ClosePort();
        closeIdle.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        comm.OpenPort();
        comm.ClosePort();
        cycle.push_back(double(t.nsecsElapsed()) / 1e6);
        comm.OpenPort();
    }
    Report("ClosePort while idle", closeIdle);
    Report("OpenPort + ClosePort", cycle);

    comm.ClosePort();
    {
        // A master that never reads: the writer stalls on back-pressure.
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        comm.SetCommPort(QString::fromLocal8Bit(ptsname(master)));
        std::vector<double> closeStalled;
        for (int i = 0; i < 10; ++i) {
            comm.OpenPort();
            comm.SendData(QByteArray(60000, 'x'));
            QThread::msleep(50);
            QElapsedTimer t;
            t.start();
            comm.ClosePort();
            closeStalled.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        Report("ClosePort with a stalled write", closeStalled);
        close(master);
    }
    QCoreApplication::processEvents();

    varnosim::TVarnoDevice hanging;
    hanging.Faults().hangupAfter = 10;
    varnosim::TPtySimulator sim2(std::move(hanging), varnosim::TSimOptions{});
    sim2.Start();
    comm.SetCommPort(QString::fromStdString(sim2.DevicePath()));
    int hangups = 0;
    comm.OnRequestHangup = [&](TComm32*) { ++hangups; };
    comm.OpenPort();
    comm.SendData(QByteArray("\x83\x0A\x00\x00", 4));
    Spin([&] { return hangups > 0; });
    const double cpu0 = CpuMs();
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
    std::printf("%-44s %8.2f ms CPU in 1000 ms, %d hang-up(s)\n", "after a hang-up", CpuMs() - cpu0,
                hangups);
    comm.ClosePort();
    return 0;
}
