// Times one charge evaluation's visit to the log (read the last row, append one)
// with a 1 KB log and with a 100 MB log.
#include "charges/ChargeLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

double MedianMicros(const QString& log, const QString& bak, int rounds) {
    std::vector<double> times;
    charges::LogState state;
    state.backupPending = false; // the once-per-run copy is not what is measured
    std::array<int, 8> counters{};
    for (int i = 0; i < rounds; ++i) {
        counters[0] = 1000000 + i; // every evaluation appends a row
        const auto t0 = std::chrono::steady_clock::now();
        charges::LogCharges(log, bak, QDateTime::currentDateTime(), counters, 8, state);
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void MakeLog(const QString& path, qint64 bytes) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(charges::LogHeader());
    const QByteArray row =
        charges::LogRow(QDateTime::currentDateTime(), {1, 2, 3, 4, 5, 6, 7, 8}, 36);
    QByteArray block;
    for (int i = 0; i < 10000; ++i)
        block += row;
    while (f.size() + block.size() <= bytes)
        f.write(block);
    while (f.size() + row.size() <= bytes)
        f.write(row);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString small = dir.filePath("small.dat"), big = dir.filePath("big.dat");
    MakeLog(small, 1024);
    MakeLog(big, 100LL * 1024 * 1024);
    const double a = MedianMicros(small, dir.filePath("small.bak"), 200);
    const double b = MedianMicros(big, dir.filePath("big.bak"), 200);
    std::printf("charge log, one evaluation (median of 200):\n");
    std::printf("  1 KB log:   %8.1f us\n", a);
    std::printf("  100 MB log: %8.1f us\n", b);
    std::printf("  ratio:      %8.2f (goal <= 2)\n", b / a);
    return 0;
}
