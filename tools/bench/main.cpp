// Times the real window's read and write sequences against the simulated exchange
// paced at 9600 baud, and checks them against what the line allows.
#include "SimSetup.h"
#include "app/ZeitEdit.h"
#include "config/ParameterFile.h"
#include "serial/Comm32.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr int kReadRuns = 10;
constexpr double kBitsPerByte = 10, kBaud = 9600;
constexpr double kIntervalTimeoutMs = 100; // the reader's silence that ends an answer
constexpr double kPacingMs = 50, kPauseMs = 1000;
constexpr double kReadGoal = 1.05, kWriteTolerance = 0.02, kTickGapGoalMs = 1200;
constexpr double kEventLatencyGoalMs = 20;

// Events posted from another thread every 10 ms, as the accessibility bridge's
// queries arrive from its socket: how long each waits until the window handles it.
class TLatencyProbe : public QObject {
public:
    static constexpr QEvent::Type kType = QEvent::Type(QEvent::User + 77);
    struct TProbe : QEvent {
        explicit TProbe(std::chrono::steady_clock::time_point at) : QEvent(kType), sent(at) {}
        std::chrono::steady_clock::time_point sent;
    };
    TLatencyProbe() {
        m_poster = std::thread([this] {
            while (m_run) {
                QCoreApplication::postEvent(this, new TProbe(std::chrono::steady_clock::now()));
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~TLatencyProbe() override {
        m_run = false;
        m_poster.join();
        QCoreApplication::removePostedEvents(this);
    }
    void Measure(bool on) {
        m_measuring = on;
        if (on)
            m_largestMs = 0, m_count = 0;
    }
    double LargestMs() const { return m_largestMs; }
    int Count() const { return m_count; }
    bool event(QEvent* e) override {
        if (e->type() != kType)
            return QObject::event(e);
        if (m_measuring) {
            const auto waited = std::chrono::steady_clock::now() - static_cast<TProbe*>(e)->sent;
            m_largestMs =
                std::max(m_largestMs, std::chrono::duration<double, std::milli>(waited).count());
            ++m_count;
        }
        return true;
    }

private:
    std::atomic<bool> m_run{true};
    std::thread m_poster;
    bool m_measuring = false;
    double m_largestMs = 0;
    int m_count = 0;
};

bool Spin(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

const char* Verdict(bool met) {
    return met ? "goal met" : "GOAL MISSED";
}

struct TickGaps {
    double largestMs = 0;
    int during = 0;
};

// The ticks between `start` and `end` (ms on the bench's clock) and the largest gap
// between two of them, the ticks just outside the span included.
TickGaps GapsDuring(const std::vector<qint64>& ticks, qint64 start, qint64 end) {
    TickGaps gaps;
    for (size_t i = 1; i < ticks.size(); ++i) {
        if (ticks[i] <= start || ticks[i - 1] >= end)
            continue;
        gaps.largestMs = std::max(gaps.largestMs, double(ticks[i] - ticks[i - 1]));
        gaps.during += ticks[i] < end;
    }
    return gaps;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    varnosim::TVarnoDevice exchange; // 8 ports, firmware 1.93
    varnosim::TSimOptions options;   // 9600 baud, answers without delay
    const double turnaroundMs = 0;   // the simulator adds no delay before an answer
    TSimSetup setup(exchange, options);
    if (!setup.Start())
        return 2;
    varnosim::TPtySimulator& sim = setup.sim();
    THauptFenster& w = setup.OpenWindow();
    if (!w.Communication->IsOpen()) {
        std::fprintf(stderr, "port not open: %s\n", qPrintable(w.statusText(0)));
        return 2;
    }
    auto readDone = [&] {
        return w.Transfer->CurrentState() == 2 && w.Transfer->TimeoutLeft() == -1 &&
               w.LesenButton->isEnabled();
    };
    if (!Spin(readDone, 20000)) {
        std::fprintf(stderr, "start-up read did not finish: %s\n", qPrintable(w.statusText(0)));
        return 2;
    }

    // (a) Full read, request to controls enabled.
    const double requestBytes = 3 * 4;
    double answerBytes = 0;
    for (const auto* region :
         {&varnosim::BasicRegion, &varnosim::TerminalRegion, &varnosim::ChargeRegion})
        answerBytes += double(varnosim::AnswerLineBytes(exchange.Image(), *region).size());
    const double boundMs = (requestBytes + answerBytes) * kBitsPerByte / kBaud * 1000 +
                           3 * kIntervalTimeoutMs + 3 * turnaroundMs;
    std::vector<double> readMs;
    for (int i = 0; i < kReadRuns; ++i) {
        QElapsedTimer t;
        t.start();
        w.LesenButtonClick();
        if (!Spin(readDone, 20000)) {
            std::fprintf(stderr, "read %d did not finish: %s\n", i, qPrintable(w.statusText(0)));
            return 2;
        }
        readMs.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    const double readMedian = Median(readMs);
    const double readWorst = *std::max_element(readMs.begin(), readMs.end());
    const bool readMet = readMedian / boundMs <= kReadGoal;
    std::printf("Full read (%d runs): median %.0f ms, worst %.0f ms; line-time bound %.0f ms "
                "(%.0f bytes x 10 bits / 9600 + 3 x 100 ms + turnaround %.0f ms)\n",
                kReadRuns, readMedian, readWorst, boundMs, requestBytes + answerBytes,
                3 * turnaroundMs);
    std::printf("  ratio median %.3f, worst %.3f (goal <= %.2f on the median): %s\n",
                readMedian / boundMs, readWorst / boundMs, kReadGoal, Verdict(readMet));

    // (b) Full write with 8 ports, the one-second timer running throughout.
    const int ports = w.Arrays.UsedPorts();
    const double lineBytes = 36 * 4 + ports * 8 * 4 + 4 + 43 * 4;
    // The fresh read of the counters before the charge message: request and answer
    // at the line rate, then the reader's interval time-out.
    const double freshReadMs = (4 + 176) * kBitsPerByte / kBaud * 1000 + kIntervalTimeoutMs;
    const double nominalMs = lineBytes * kPacingMs + (ports + 2) * kPauseMs + freshReadMs;
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> ticks;
    QObject::connect(w.SekundenTimer, &QTimer::timeout, [&] { ticks.push_back(clock.elapsed()); });
    Spin([&] { return ticks.size() >= 2; }, 5000); // the write starts between two ticks
    TLatencyProbe probe;
    const qint64 writeStart = clock.elapsed();
    probe.Measure(true);
    w.OnSchreibenClick();
    probe.Measure(false);
    const qint64 writeEnd = clock.elapsed();
    const bool latencyMet = probe.Count() > 0 && probe.LargestMs() <= kEventLatencyGoalMs;
    const bool allApplied = sim.WaitForWrites(ports + 3, 5000);
    Spin([&] { return ticks.back() > writeEnd; }, 3000);

    const TickGaps gaps = GapsDuring(ticks, writeStart, writeEnd);
    const double writeMs = double(writeEnd - writeStart);
    const double deviation = writeMs / nominalMs - 1;
    const bool writeMet = std::abs(deviation) <= kWriteTolerance && allApplied;
    const bool ticksMet = gaps.largestMs <= kTickGapGoalMs && gaps.during > 0;
    std::printf("Full write (PortCount %d): %.2f s against the nominal %.2f s (%+.2f %%, goal "
                "within %.0f %%), %s by the exchange: %s\n",
                ports, writeMs / 1000, nominalMs / 1000, deviation * 100, kWriteTolerance * 100,
                allApplied ? "all messages taken" : "MESSAGES MISSING", Verdict(writeMet));
    std::printf("  one-second timer: %d ticks during the write, largest gap %.0f ms (goal <= %.0f "
                "ms): %s\n",
                gaps.during, gaps.largestMs, kTickGapGoalMs, Verdict(ticksMet));
    std::printf("  events posted every 10 ms: %d handled during the write, longest wait %.1f ms "
                "(goal <= %.0f ms): %s\n",
                probe.Count(), probe.LargestMs(), kEventLatencyGoalMs, Verdict(latencyMet));

    // (c) Two scheduled writes, entries for the next two minutes, set beforehand as a
    // user would: the second falls due after the first write has ended.
    const QString file = setup.home() + QStringLiteral("/bench.vrn");
    config::SaveParameterFile(file, w.Image);
    Spin([] { return QTime::currentTime().second() < 55; }, 10000);
    const QDateTime armed = QDateTime::currentDateTime();
    for (int n = 0; n < 2; ++n) {
        w.EditUhrzeit[n]->setZeitText(armed.addSecs(60 * (n + 1)).toString(QStringLiteral("HHmm")));
        w.EditDateiname[n]->setText(file);
    }
    std::vector<std::pair<qint64, qint64>> writes; // start and end of each scheduled write
    QDateTime firstStart, secondStart;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const bool writing = w.Transfer->Writing();
        if (writing && (writes.empty() || writes.back().second >= 0)) {
            writes.emplace_back(clock.elapsed(), -1);
            (writes.size() == 1 ? firstStart : secondStart) = QDateTime::currentDateTime();
        } else if (!writing && !writes.empty() && writes.back().second < 0) {
            writes.back().second = clock.elapsed();
        }
    });
    watch.start();
    const bool bothRan =
        Spin([&] { return writes.size() == 2 && writes.back().second >= 0; }, 200000);
    watch.stop();
    bool scheduledMet = bothRan;
    for (size_t i = 0; i < writes.size(); ++i) {
        const TickGaps g = GapsDuring(ticks, writes[i].first, writes[i].second);
        scheduledMet = scheduledMet && g.largestMs <= kTickGapGoalMs && g.during > 0;
        std::printf("Scheduled write %zu: %.2f s, %d ticks during it, largest gap %.0f ms (goal "
                    "<= %.0f ms)\n",
                    i + 1, double(writes[i].second - writes[i].first) / 1000, g.during, g.largestMs,
                    kTickGapGoalMs);
    }
    // A minute starts at second 0; the tick that finds an entry due may come up to a
    // second later.
    auto lateInMinute = [](const QDateTime& t) {
        return double(QTime(0, 0).msecsTo(t.time()) % 60000) / 1000;
    };
    const double firstLate = bothRan ? lateInMinute(firstStart) : -1;
    const double secondLate = bothRan ? lateInMinute(secondStart) : -1;
    const bool onTime = bothRan && firstLate <= 1.5 && secondLate <= 2.5;
    std::printf("  each write started %.1f s and %.1f s into its minute (goal <= 1.5 s and "
                "<= 2.5 s): %s\n",
                firstLate, secondLate, Verdict(onTime));
    std::printf("  scheduled writes: %s\n", Verdict(scheduledMet && onTime));

    w.BeendenButtonClick();
    sim.Stop();
    return readMet && writeMet && ticksMet && latencyMet && scheduledMet && onTime ? 0 : 1;
}
