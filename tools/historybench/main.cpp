// Times comparing two configurations and the configuration history with 10,000
// versions: opening it, recording a configuration it has, and one it has not.
#include "config/ConfigDiff.h"
#include "config/ConfigHistory.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

constexpr int kVersions = 10000;
constexpr double kOpenGoalMs = 200;

double MedianUs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    QElapsedTimer t;
    for (int i = 0; i < runs; ++i) {
        t.start();
        work();
        times.push_back(double(t.nsecsElapsed()) / 1000.0);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

config::ConfigImage Numbered(int n) {
    config::ConfigImage image;
    image.Bytes()[2] = 8;
    std::memcpy(image.Bytes().data() + 10, &n, sizeof n); // inside the MSN numbers
    return image;
}

// Versions as years of reads leave them: written directly (recording them one by
// one would wait for the disk 20,000 times), in the index's own format, which
// Open() then has to accept whole.
bool MakeHistory(const QString& dir) {
    QDir().mkpath(dir);
    QByteArray index = "# WinVarno Konfigurationsverlauf\n";
    QDateTime t(QDate(2016, 1, 1), QTime(0, 0), Qt::UTC);
    const char* origins[] = {"gelesen", "geschrieben", "zeitpunkt", "datei", "anlage"};
    for (int id = 1; id <= kVersions; ++id) {
        t = t.addSecs(3 * 3600);
        const config::ConfigImage kept = config::ConfigurationOnly(Numbered(id));
        const QString file = QStringLiteral("%1_%2.vrn")
                                 .arg(id, 6, 10, QChar(u'0'))
                                 .arg(t.toString(QStringLiteral("yyyyMMdd-HHmmss")));
        QFile f(dir + u'/' + file);
        if (!f.open(QIODevice::WriteOnly) || f.write(kept.ToByteArray()) != 588)
            return false;
        const char* origin = origins[id % 5];
        index += QByteArray::number(id) + '\t' + t.toString(Qt::ISODate).toLatin1() + '\t' +
                 origin + '\t' + config::ConfigHistory::Key(kept) + '\t' + file.toUtf8() + '\t' +
                 (qstrcmp(origin, "datei") == 0 ? "Nacht.vrn" : "") + '\n';
    }
    QFile f(dir + QStringLiteral("/Index.txt"));
    return f.open(QIODevice::WriteOnly) && f.write(index) == index.size();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);

    std::mt19937 rng(26);
    config::ConfigImage a, b;
    for (auto& byte : a.Bytes())
        byte = std::uint8_t(rng());
    for (auto& byte : b.Bytes())
        byte = std::uint8_t(rng());
    a.Bytes()[2] = b.Bytes()[2] = 8;
    std::size_t lines = 0;
    const double equalUs =
        MedianUs(2001, [&] { lines += config::CompareConfigurations(a, a).size(); });
    const double differentUs =
        MedianUs(2001, [&] { lines = config::CompareConfigurations(a, b).size(); });

    QTemporaryDir temp;
    const QString dir = temp.filePath(QStringLiteral("Verlauf"));
    if (!temp.isValid() || !MakeHistory(dir)) {
        std::fprintf(stderr, "winvarno-historybench: the history cannot be made\n");
        return 2;
    }
    std::size_t opened = 0;
    qsizetype problems = 0;
    const double openUs = MedianUs(11, [&] {
        config::ConfigHistory history(dir);
        history.Open();
        opened = history.Versions().size();
        problems = history.Problems().size();
    });
    if (opened != std::size_t(kVersions) || problems != 0) {
        std::fprintf(stderr, "winvarno-historybench: %zu versions opened, %lld problems\n", opened,
                     static_cast<long long>(problems));
        return 2;
    }
    config::ConfigHistory history(dir);
    history.Open();
    const double knownUs =
        MedianUs(101, [&] { history.Record(Numbered(kVersions / 2), config::Origin::Read); });
    int next = kVersions;
    const double newUs =
        MedianUs(11, [&] { history.Record(Numbered(++next), config::Origin::Read); });

    std::printf("Comparing two images, equal: %.1f us (median of 2001)\n", equalUs);
    std::printf("Comparing two images, %zu changes: %.1f us (median of 2001)\n", lines,
                differentUs);
    std::printf("Opening a history of %d versions: %.1f ms (median of 11; goal < %.0f ms: %s)\n",
                kVersions, openUs / 1000, kOpenGoalMs,
                openUs / 1000 < kOpenGoalMs ? "goal met" : "GOAL MISSED");
    std::printf("Recording a configuration it has: %.2f ms (median of 101)\n", knownUs / 1000);
    std::printf("Recording a new configuration: %.1f ms (median of 11)\n", newUs / 1000);
    return 0;
}
