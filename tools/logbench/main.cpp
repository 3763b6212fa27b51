// Times one charge evaluation's visit to the log (read the last row, append one)
// with a 1 KB log and with 100 MB logs of every shape, and the run's backup.
#include "charges/ChargeLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double MedianMicros(const QString& log, const QString& bak, int rounds) {
    std::vector<double> times;
    charges::LogState state;
    state.backupPending = false; // the once-per-run copy is not what is measured
    std::array<int, 8> counters{};
    QFile file(log);
    const qint64 size = file.size();
    for (int i = 0; i < rounds; ++i) {
        counters[0] = 1000000 + i; // every evaluation appends a row
        const auto t0 = std::chrono::steady_clock::now();
        charges::LogCharges(log, bak, QDateTime::currentDateTime(), counters, 8, state);
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                .count());
        file.resize(size); // the next evaluation meets the same tail
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A log of `bytes`: the header and rows with the given line end, then `tail`.
void MakeLog(const QString& path, qint64 bytes, const QByteArray& lineEnd = "\r\n",
             const QByteArray& tail = {}) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(charges::LogHeader());
    QByteArray row =
        charges::LogRow(QDateTime::currentDateTime(), {1, 2, 3, 4, 5, 6, 7, 8}, 36).left(92);
    row += lineEnd;
    QByteArray block;
    for (int i = 0; i < 10000; ++i)
        block += row;
    const qint64 rows = bytes - tail.size();
    while (f.size() + block.size() <= rows)
        f.write(block);
    while (f.size() + row.size() <= rows)
        f.write(row);
    f.write(tail);
}

// A file of one byte repeated, with no line end at all.
void MakeFill(const QString& path, qint64 bytes, char byte) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    const QByteArray block(1 << 20, byte);
    while (f.size() + block.size() <= bytes)
        f.write(block);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    constexpr qint64 kBig = 100LL * 1024 * 1024;
    const QString small = dir.filePath("small.dat");
    MakeLog(small, 1024);
    const double base = MedianMicros(small, dir.filePath("small.bak"), 200);
    std::printf("charge log, one evaluation (median of 200):\n");
    std::printf("  %-40s %8.1f us\n", "1 KB log", base);
    struct Shape {
        const char* name;
        std::function<void(const QString&)> make;
    };
    const Shape shapes[] = {
        {"100 MB log", [&](const QString& p) { MakeLog(p, kBig); }},
        {"100 MB log, CR-only line ends", [&](const QString& p) { MakeLog(p, kBig, "\r"); }},
        {"100 MB log ending in 4 MB of line feeds",
         [&](const QString& p) { MakeLog(p, kBig, "\r\n", QByteArray(4 << 20, '\n')); }},
        {"100 MB of blank lines", [&](const QString& p) { MakeFill(p, kBig, '\n'); }},
        {"100 MB of garbage without a line end", [&](const QString& p) { MakeFill(p, kBig, 'x'); }},
    };
    bool met = true;
    for (const Shape& shape : shapes) {
        const QString path = dir.filePath("shape.dat");
        shape.make(path);
        const double us = MedianMicros(path, dir.filePath("shape.bak"), 200);
        met = met && us / base <= 2;
        std::printf("  %-40s %8.1f us  ratio %.2f (goal <= 2)\n", shape.name, us, us / base);
        QFile::remove(path);
    }

    // The run's one backup of a 100 MB log, and how long the window waits at most
    // between two turns of its event loop meanwhile.
    const QString big = dir.filePath("big.dat");
    MakeLog(big, kBig);
    charges::LogState state;
    std::array<int, 8> counters{};
    counters[0] = 1;
    QElapsedTimer clock, gap;
    qint64 longest = 0;
    clock.start();
    gap.start();
    charges::LogCharges(big, dir.filePath("big.bak"), QDateTime::currentDateTime(), counters, 8,
                        state, [&] {
                            longest = std::max(longest, gap.restart());
                            QCoreApplication::processEvents();
                        });
    longest = std::max(longest, gap.elapsed());
    std::printf("  backup of a 100 MB log: %lld ms in all, the event loop waited at most %lld ms\n",
                static_cast<long long>(clock.elapsed()), static_cast<long long>(longest));
    return met ? 0 : 1;
}
