// Times the charge history on a charge log of 100 MB (about 1.1 million rows):
// winvarno-report against `wc -l` on the same cached file, its resident memory on
// logs of 10 and 100 MB, and how long the "Gebührenverlauf" window takes to open.
#include "app/GebuehrenVerlauf.h"
#include "app/HauptFormular.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRuns = 11;
constexpr double kRatioGoal = 2.0, kWindowGoalMs = 1000;

// A log as years of reads write it: a row every five minutes from 2016 on, one to
// three ports counting on, now and then a port reset on the exchange.
bool MakeLog(const QString& path, qint64 bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray out = QByteArray(92, '=') + "\r\n" +
                     "|       Datum      |   21  |   22  |   23  |   24  |   25  |   26  |   27  "
                     "|   28  | Summe |\r\n" +
                     QByteArray(92, '=') + "\r\n";
    QDateTime t(QDate(2016, 1, 1), QTime(0, 0));
    std::array<int, 8> c{};
    quint32 seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    char row[128];
    while (f.size() + out.size() + 94 <= bytes) {
        t = t.addSecs(300);
        for (int n = 1 + int(next() % 3); n > 0; --n) {
            const int port = int(next() % 8);
            c[size_t(port)] =
                next() % 5000 == 0 ? 0 : (c[size_t(port)] + 1 + int(next() % 3)) % 65536;
        }
        int sum = 0;
        for (int v : c)
            sum += v;
        const QDate d = t.date();
        std::snprintf(
            row, sizeof row,
            "| %02d.%02d.%04d %02d:%02d |%6d |%6d |%6d |%6d |%6d |%6d |%6d |%6d |%6d |\r\n",
            d.day(), d.month(), d.year(), t.time().hour(), t.time().minute(), c[0], c[1], c[2],
            c[3], c[4], c[5], c[6], c[7], sum);
        out += row;
        if (out.size() > (1 << 20)) {
            f.write(out);
            out.clear();
        }
    }
    return f.write(out) == out.size();
}

struct Run {
    double ms = 0;
    long maxRssKb = 0;
};

// Runs the program with its output thrown away; wall time and peak resident memory.
Run Spawn(const std::vector<QByteArray>& argv) {
    std::vector<char*> args;
    for (const QByteArray& a : argv)
        args.push_back(const_cast<char*>(a.constData()));
    args.push_back(nullptr);
    QElapsedTimer t;
    t.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Run r;
    r.ms = double(t.nsecsElapsed()) / 1e6;
    r.maxRssKb = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "%s failed\n", argv[0].constData());
    return r;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

const char* Verdict(bool met) {
    return met ? "goal met" : "GOAL MISSED";
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    const QString big = dir.filePath("WinVarno.dat"), small = dir.filePath("small.dat");
    if (!MakeLog(big, 100LL * 1024 * 1024) || !MakeLog(small, 10LL * 1024 * 1024)) {
        std::fprintf(stderr, "cannot write the logs in %s\n", qPrintable(dir.path()));
        return 2;
    }
    const QByteArray bigName = QFile::encodeName(big), smallName = QFile::encodeName(small);
    const QByteArray report = WINVARNO_REPORT_EXE;

    // Both read the file once before, so both find it cached; then by turns.
    Spawn({"wc", "-l", bigName});
    Spawn({report, "--log", bigName});
    std::vector<double> wc, rep;
    long rssBig = 0;
    for (int i = 0; i < kRuns; ++i) {
        wc.push_back(Spawn({"wc", "-l", bigName}).ms);
        const Run r = Spawn({report, "--log", bigName});
        rep.push_back(r.ms);
        rssBig = std::max(rssBig, r.maxRssKb);
    }
    long rssSmall = 0;
    for (int i = 0; i < 3; ++i)
        rssSmall = std::max(rssSmall, Spawn({report, "--log", smallName}).maxRssKb);
    const double ratio = Median(rep) / Median(wc);
    std::printf("winvarno-report on a 100 MB log (%d runs each, medians): %.1f ms; wc -l %.1f ms; "
                "ratio %.2f (goal <= %.1f): %s\n",
                kRuns, Median(rep), Median(wc), ratio, kRatioGoal, Verdict(ratio <= kRatioGoal));
    std::printf("  peak resident memory: %ld kB with 10 MB, %ld kB with 100 MB (%+ld kB)\n",
                rssSmall, rssBig, rssBig - rssSmall);

    // The window: a fresh main window for each opening, so each reads the whole log.
    std::vector<double> open;
    double again = 0;
    for (int i = 0; i < 5; ++i) {
        TUmgebung env;
        // Its own exchange, never a service winvarnod on the user's session bus.
        env.dienstBus = [] { return QDBusConnection(QStringLiteral("winvarno-ohne-dienst")); };
        env.settingsPath = dir.filePath("WinVarno.INI");
        // No settings: start-up opens no port, so nothing but the log is read.
        env.programPath = dir.filePath("WinVarno"); // its log is the 100 MB one
        THauptFenster w(env);
        w.show();
        QCoreApplication::processEvents();
        QElapsedTimer t;
        t.start();
        w.findChild<QPushButton*>(QStringLiteral("VerlaufButton"))->click();
        auto* verlauf = w.findChild<TGebuehrenVerlauf*>();
        verlauf->grab(); // laid out and painted once
        open.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        w.findChild<QPushButton*>(QStringLiteral("VerlaufButton"))
            ->click(); // only what was appended since
        verlauf->grab();
        again = double(t.nsecsElapsed()) / 1e6;
        if (i == 0)
            std::printf("  the window shows %zu months\n", verlauf->zeilen().size());
        w.BeendenButtonClick();
    }
    const double openMs = Median(open);
    std::printf("\"Verlauf...\" on the 100 MB log until the window is painted (median of %zu): "
                "%.0f ms (goal < %.0f ms): %s; opened again: %.0f ms\n",
                open.size(), openMs, kWindowGoalMs, Verdict(openMs < kWindowGoalMs), again);
    return 0;
}
