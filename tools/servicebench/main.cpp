// Measures winvarnod as the service manager runs it: the real program, no display,
// on a session bus of its own, with scratch settings and charge log, against the
// simulated exchange. The time from its start to the first request on the line,
// its CPU while idle between two reads, and what it holds over a long run of reads
// with the adapter pulled and put back now and then.
#include "PtySimulator.h"

#include "Spin.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

// Looked at often: the start-up is measured in milliseconds.
bool Spin(const std::function<bool()>& done, int limitMs) {
    return tools::Spin(done, limitMs, 5);
}

const QString kBusName = QStringLiteral("de.winvarno.WinVarno");
const QString kPfad = QStringLiteral("/de/winvarno/WinVarno");
const QString kInterface = QStringLiteral("de.winvarno.WinVarno.Sitzung1");
constexpr int kWaitMs = 30000; // a read that fails ends with its 10 s time-out

void Pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Holdings {
    long rssKb = 0;
    int fds = 0;
    int threads = 0;
};

Holdings Measure(qint64 pid) {
    const QString proc = QStringLiteral("/proc/%1").arg(pid);
    Holdings h;
    h.fds = int(QDir(proc + QStringLiteral("/fd"))
                    .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
                    .size());
    h.threads = int(
        QDir(proc + QStringLiteral("/task")).entryList(QDir::NoDotAndDotDot | QDir::Dirs).size());
    QFile status(proc + QStringLiteral("/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                h.rssKb = line.mid(6).trimmed().split(' ').value(0).toLong();
    return h;
}

// utime + stime of /proc/<pid>/stat in seconds (clock ticks: 10 ms here).
double CpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The command name may hold spaces; the fields count from after its ')'.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const long ticks = fields.value(11).toLong() + fields.value(12).toLong();
    return double(ticks) / double(::sysconf(_SC_CLK_TCK));
}

// The time on a processor in ns from /proc/<pid>/schedstat, finer than the ticks;
// -1 where the kernel does not keep it.
double RunSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/schedstat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const double ns = stat.readAll().split(' ').value(0).toDouble(&ok);
    return ok ? ns / 1e9 : -1;
}

qint64 Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The service manager's end of NOTIFY_SOCKET, read as it comes.
class TNotify {
public:
    explicit TNotify(const QString& path) : m_path(QFile::encodeName(path)) {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", m_path.constData());
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            return;
        m_bound = true;
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
            char buffer[4096];
            ssize_t n;
            while ((n = ::recv(m_fd, buffer, sizeof buffer, 0)) > 0)
                for (const QByteArray& line : QByteArray(buffer, int(n)).split('\n')) {
                    if (line == "READY=1" && readyNs < 0)
                        readyNs = Now();
                    else if (line == "WATCHDOG=1")
                        ++watchdog;
                }
        });
    }
    ~TNotify() {
        m_notifier.reset();
        ::close(m_fd);
        ::unlink(m_path.constData());
    }
    bool bound() const { return m_bound; }

    qint64 readyNs = -1; // when READY=1 came, on the steady clock
    int watchdog = 0;

private:
    QByteArray m_path;
    int m_fd = -1;
    bool m_bound = false;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

// The results of the service's reads, as its signal tells them.
class TLesen : public QObject {
    Q_OBJECT
public:
    QStringList ergebnisse;
public slots:
    void LesenBeendet(const QString&, const QString& ergebnis) { ergebnisse << ergebnis; }
};

} // namespace

int main(int argc, char** argv) {
    // A session bus of its own, so that neither a user's service nor a user's
    // window sees the measured one.
    if (qEnvironmentVariableIsEmpty("WINVARNO_SERVICEBENCH_BUS")) {
        ::setenv("WINVARNO_SERVICEBENCH_BUS", "1", 1);
        std::vector<char*> args{const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
        args.insert(args.end(), argv, argv + argc);
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        std::perror("dbus-run-session");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as it comes, also into a pipe
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions(
        {{"winvarnod", "The program to measure.", "path", QStringLiteral(WINVARNOD_EXE)},
         {"starts", "Starts to time.", "n", "5"},
         {"idle", "Seconds idle between two reads.", "s", "60"},
         {"reads", "Reads asked for over D-Bus, back to back.", "n", "1000"},
         {"replug-every", "Reads between two replugs of the adapter.", "n", "20"}});
    parser.process(app);
    const int starts = std::max(1, parser.value("starts").toInt());
    const int idle = parser.value("idle").toInt();
    const int reads = parser.value("reads").toInt();
    const int replugEvery = std::max(1, parser.value("replug-every").toInt());

    QTemporaryDir home;
    // A copy of the program keeps its charge log beside it, in the scratch directory.
    const QString program = home.filePath("winvarnod");
    if (!QFile::copy(parser.value("winvarnod"), program)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(parser.value("winvarnod")));
        return 2;
    }
    QFile ini(home.filePath("WinVarno.INI"));
    if (!ini.open(QIODevice::WriteOnly) ||
        ini.write("[Allgemein]\nAnschluß=COM1\nKosten=0,12\n[Schnittstellen]\nCOM1=" +
                  QFile::encodeName(home.filePath("com1")) + "\n") <= 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(ini.fileName()));
        return 2;
    }
    ini.close();

    varnosim::TSimOptions options;
    options.byteTimeMs = 0.05; // about what the service holds, not the line rate
    options.linkPath = QFile::encodeName(home.filePath("com1")).toStdString();
    varnosim::TPtySimulator sim(varnosim::TVarnoDevice{}, options);
    // When the line first carried a request since the flag was reset (ns of the steady clock).
    std::atomic<qint64> firstRequestNs{-1};
    sim.OnEvent = [&](const std::string& text) {
        qint64 none = -1;
        if (text.rfind("request ", 0) == 0)
            firstRequestNs.compare_exchange_strong(none, Now());
    };
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 2;
    }

    TLesen lesen;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.connect(QString(), kPfad, kInterface, QStringLiteral("LesenBeendet"), &lesen,
                     SLOT(LesenBeendet(QString, QString)))) {
        std::fprintf(stderr, "no session bus\n");
        return 2;
    }

    // As the unit runs it: notifications, the watchdog, no display; the cyclic read
    // an hour away, so that it never falls into the measurements.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "WINVARNO_SERVICEBENCH_BUS"})
        env.remove(QString::fromLatin1(name));
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        env.insert(QString::fromLatin1(name), home.path());
    env.insert(QStringLiteral("NOTIFY_SOCKET"), home.filePath("notify"));
    env.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("30000000"));
    env.insert(QStringLiteral("WINVARNOD_ZYKLUS_SEKUNDEN"), QStringLiteral("3600"));
    TNotify notify(home.filePath("notify"));
    if (!notify.bound()) {
        std::fprintf(stderr, "cannot bind %s\n", qPrintable(home.filePath("notify")));
        return 2;
    }

    QProcess winvarnod;
    winvarnod.setProcessEnvironment(env);
    winvarnod.setStandardErrorFile(home.filePath("journal"), QIODevice::Append);
    auto end = [&]() -> double {
        QElapsedTimer t;
        t.start();
        ::kill(pid_t(winvarnod.processId()), SIGTERM);
        if (!winvarnod.waitForFinished(kWaitMs)) {
            winvarnod.kill();
            winvarnod.waitForFinished();
            return -1;
        }
        return double(t.elapsed());
    };

    // (a) From the start to the first request on the line, and READY=1; each start
    // reads the whole exchange once and is ended by SIGTERM.
    std::vector<double> firstRequest, ready, ended;
    for (int i = 0; i < starts; ++i) {
        notify.readyNs = -1;
        firstRequestNs = -1;
        lesen.ergebnisse.clear();
        const qint64 started = Now();
        winvarnod.start(program, {});
        if (!winvarnod.waitForStarted()) {
            std::fprintf(stderr, "winvarnod did not start: %s\n",
                         qPrintable(winvarnod.errorString()));
            return 2;
        }
        Spin(
            [&] {
                return firstRequestNs >= 0 && notify.readyNs >= 0 && !lesen.ergebnisse.isEmpty();
            },
            kWaitMs);
        if (firstRequestNs < 0 || notify.readyNs < 0 ||
            lesen.ergebnisse.value(0) != QStringLiteral("vollständig")) {
            std::fprintf(stderr, "start %d: %s no complete first read (%s)\n", i + 1,
                         notify.readyNs < 0 ? "no READY=1," : "",
                         qPrintable(lesen.ergebnisse.join(u'/')));
            end();
            return 2;
        }
        firstRequest.push_back(double(firstRequestNs - started) / 1e6);
        ready.push_back(double(notify.readyNs - started) / 1e6);
        if (i + 1 < starts)
            ended.push_back(end());
    }
    std::printf("start to first request on the line: median %.1f ms, worst %.1f ms of %d starts "
                "(goal < 500 ms)\n",
                Median(firstRequest), *std::max_element(firstRequest.begin(), firstRequest.end()),
                starts);
    std::printf("start to READY=1: median %.1f ms\n", Median(ready));
    if (!ended.empty())
        std::printf("SIGTERM to exit, idle: median %.1f ms (goal < 2000 ms)\n", Median(ended));
    const qint64 pid = winvarnod.processId();

    // (b) Idle with the port open, between two reads.
    if (idle > 0) {
        Pause(1000);
        const int beats = notify.watchdog;
        const double cpu0 = CpuSeconds(pid);
        const double run0 = RunSeconds(pid);
        QElapsedTimer t;
        t.start();
        Pause(idle * 1000);
        const double seconds = double(t.elapsed()) / 1000;
        const double cpu = CpuSeconds(pid) - cpu0;
        std::printf("idle for %.0f s with the port open: %.2f s of CPU, %.3f %% of one core "
                    "(goal < 0.1 %%)",
                    seconds, cpu, cpu / seconds * 100);
        if (run0 >= 0)
            std::printf("; on the processor %.1f ms, %.4f %%", (RunSeconds(pid) - run0) * 1000,
                        (RunSeconds(pid) - run0) / seconds * 100);
        std::printf("; %d watchdog beats\n", notify.watchdog - beats);
    }

    // (c) Reads back to back over D-Bus, the adapter pulled and put back every so often.
    if (reads > 0) {
        QElapsedTimer t;
        t.start();
        const Holdings first = Measure(pid);
        Holdings warm, middle; // warm: after the first replugs, once every path has run
        int failed = 0, replugs = 0;
        // Asks for a read until the service takes it (a read of its own may still end);
        // false when it refuses for another reason, such as a port it cannot open.
        auto ask = [&] {
            for (int n = 0; n < 1000; ++n) {
                const QDBusMessage answer = bus.call(QDBusMessage::createMethodCall(
                    kBusName, kPfad, kInterface, QStringLiteral("Lesen")));
                if (answer.type() != QDBusMessage::ErrorMessage)
                    return true;
                if (!answer.errorName().endsWith(QStringLiteral(".UebertragungLaeuft")))
                    return false;
                Pause(5);
            }
            return false;
        };
        for (int i = 1; i <= reads; ++i) {
            lesen.ergebnisse.clear();
            if (!ask() || !Spin([&] { return !lesen.ergebnisse.isEmpty(); }, kWaitMs) ||
                lesen.ergebnisse.value(0) != QStringLiteral("vollständig"))
                ++failed;
            if (i == std::min(reads, 5 * replugEvery))
                warm = Measure(pid);
            if (i == reads / 2)
                middle = Measure(pid);
            if (i % replugEvery == 0 && i < reads) {
                // Pulled: the service lets the dead line go, a read fails; put back, the
                // next read opens it anew.
                sim.Stop();
                QElapsedTimer pulled;
                pulled.start();
                while (pulled.elapsed() < kWaitMs) {
                    lesen.ergebnisse.clear();
                    if (!ask() || !Spin([&] { return !lesen.ergebnisse.isEmpty(); }, kWaitMs) ||
                        lesen.ergebnisse.value(0) != QStringLiteral("vollständig"))
                        break;
                }
                if (!sim.Start(&error)) {
                    std::fprintf(stderr, "simulator did not come back: %s\n", error.c_str());
                    end();
                    return 2;
                }
                ++replugs;
                Pause(50); // a failed read's last signals
            }
        }
        Pause(300);
        const Holdings last = Measure(pid);
        std::printf("%d reads over D-Bus (%d not complete), %d replugs, in %.0f s\n", reads, failed,
                    replugs, double(t.elapsed()) / 1000);
        std::printf("  resident memory: %ld kB -> %ld kB -> %ld kB -> %ld kB (start, after %d "
                    "reads, middle, end)\n",
                    first.rssKb, warm.rssKb, middle.rssKb, last.rssKb,
                    std::min(reads, 5 * replugEvery));
        std::printf("  open descriptors: %d -> %d -> %d\n", first.fds, middle.fds, last.fds);
        std::printf("  threads: %d -> %d -> %d\n", first.threads, middle.threads, last.threads);
    }

    const double endMs = end();
    std::printf("SIGTERM to exit: %.1f ms\n", endMs);
    QFile journal(home.filePath("journal"));
    if (journal.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = journal.readAll().split('\n');
        const auto count = [&](const char* prefix) {
            return std::count_if(lines.begin(), lines.end(),
                                 [&](const QByteArray& l) { return l.startsWith(prefix); });
        };
        std::printf("journal: %ld lines, %ld of them errors\n",
                    long(std::count_if(lines.begin(), lines.end(),
                                       [](const QByteArray& l) { return !l.isEmpty(); })),
                    long(count("<3>")));
    }
    sim.Stop();
    return endMs < 0 ? 1 : 0;
}

#include "main.moc"
