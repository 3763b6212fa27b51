// varno-sim: a simulated Varno KM20/KM50 exchange on a pseudo-terminal.

#include "PtySimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <csignal>
#include <cstdio>
#include <iostream>

using namespace varnosim;

namespace {

const char* const HelpText = R"(
Simulates a Varno KM20/KM50 exchange on a pseudo-terminal and prints the path
of its device end. It answers the read requests 10, 8 and 6 with the basic,
terminal and charge blocks (152, 260 and 176 line bytes, paced at 9600 baud),
takes the write messages 9, 7, 12 and 5 into its configuration, and counts
charge units while it runs. Stop it with Ctrl+C; with --dump it writes its
configuration as a parameter file after every write and at the end.

Pointing WinVarno at it:
  varno-sim --link /tmp/varno
  then in ~/.config/WinVarno.INI (or $XDG_CONFIG_HOME/WinVarno.INI):
    [Allgemein]
    Anschluß=COM2
    [Schnittstellen]
    COM2=/tmp/varno
  and start WinVarno. Without --link, put the printed /dev/pts/N there instead.
)";

bool ParsePair(const QString& text, int& first, int& second) {
    const QStringList parts = text.split(QLatin1Char(':'));
    bool ok1 = false, ok2 = false;
    if (parts.size() != 2)
        return false;
    first = parts[0].toInt(&ok1);
    second = parts[1].toInt(&ok2);
    return ok1 && ok2 && first >= 0 && second >= 0;
}

[[noreturn]] void Fail(const QString& text) {
    std::cerr << "varno-sim: " << text.toStdString() << "\n";
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varno-sim"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(HelpText));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("link"), QStringLiteral("Create a symbolic link <path> to the device end."),
         QStringLiteral("path")},
        {QStringLiteral("load"), QStringLiteral("Start from the 588-byte parameter file <file>."),
         QStringLiteral("file")},
        {QStringLiteral("dump"),
         QStringLiteral("Write the configuration to <file> after each write and at the end."),
         QStringLiteral("file")},
        {QStringLiteral("firmware"),
         QStringLiteral("Report firmware <major.minor> (default 1.93)."),
         QStringLiteral("version")},
        {QStringLiteral("ports"), QStringLiteral("Report <n> a/b ports, 1 to 8 (default 8)."),
         QStringLiteral("n")},
        {QStringLiteral("silent-on"),
         QStringLiteral("Never answer the read request <code> (10, 8 or 6)."),
         QStringLiteral("code")},
        {QStringLiteral("late"),
         QStringLiteral("Answer <code> only after <ms> (code 0: every request)."),
         QStringLiteral("code:ms")},
        {QStringLiteral("pause"),
         QStringLiteral("Pause <ms> inside every answer after <bytes> bytes."),
         QStringLiteral("bytes:ms")},
        {QStringLiteral("garbage"), QStringLiteral("Send <n> bytes of noise before every answer."),
         QStringLiteral("n")},
        {QStringLiteral("hangup-after"),
         QStringLiteral("Hang the line up after sending <n> bytes in all."), QStringLiteral("n")},
        {QStringLiteral("ignore-write"),
         QStringLiteral("Lose the <n>-th write message (1 = the first), as a line fault would."),
         QStringLiteral("n")},
        {QStringLiteral("charge-interval"),
         QStringLiteral("Count charge units every <s> seconds, 0 = never (default 10)."),
         QStringLiteral("s"), QStringLiteral("10")},
        {{QStringLiteral("v"), QStringLiteral("verbose")},
         QStringLiteral("Tell every request and write on standard error.")},
    });
    parser.process(app);

    TVarnoDevice device;
    if (parser.isSet(QStringLiteral("load"))) {
        std::string error;
        if (!device.LoadParameterFile(parser.value(QStringLiteral("load")).toStdString(), &error))
            Fail(QString::fromStdString(error));
    }
    if (parser.isSet(QStringLiteral("firmware"))) {
        const auto m = QRegularExpression(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})$"))
                           .match(parser.value(QStringLiteral("firmware")));
        if (!m.hasMatch() || m.captured(1).toInt() > 255 || m.captured(2).toInt() > 255)
            Fail(QStringLiteral("--firmware wants major.minor, e.g. 1.93"));
        device.SetFirmware(m.captured(1).toInt(), m.captured(2).toInt());
    }
    bool ok = true;
    if (parser.isSet(QStringLiteral("ports"))) {
        const int ports = parser.value(QStringLiteral("ports")).toInt(&ok);
        if (!ok || ports < 1 || ports > 8)
            Fail(QStringLiteral("--ports wants 1 to 8"));
        device.SetPortCount(ports);
    }
    TFaults& faults = device.Faults();
    if (parser.isSet(QStringLiteral("silent-on"))) {
        faults.silentOn = parser.value(QStringLiteral("silent-on")).toInt(&ok);
        if (!ok)
            Fail(QStringLiteral("--silent-on wants a request code"));
    }
    if (parser.isSet(QStringLiteral("late"))) {
        if (!ParsePair(parser.value(QStringLiteral("late")), faults.lateOn, faults.lateMs))
            Fail(QStringLiteral("--late wants code:ms"));
        if (faults.lateOn == 0)
            faults.lateOn = -1;
    }
    if (parser.isSet(QStringLiteral("pause")) &&
        !ParsePair(parser.value(QStringLiteral("pause")), faults.pauseAfter, faults.pauseMs))
        Fail(QStringLiteral("--pause wants bytes:ms"));
    if (parser.isSet(QStringLiteral("garbage"))) {
        faults.garbage = parser.value(QStringLiteral("garbage")).toInt(&ok);
        if (!ok || faults.garbage < 0 || faults.garbage > 4096)
            Fail(QStringLiteral("--garbage wants 0 to 4096"));
    }
    if (parser.isSet(QStringLiteral("hangup-after"))) {
        faults.hangupAfter = parser.value(QStringLiteral("hangup-after")).toLong(&ok);
        if (!ok || faults.hangupAfter < 1)
            Fail(QStringLiteral("--hangup-after wants n >= 1"));
    }
    if (parser.isSet(QStringLiteral("ignore-write"))) {
        faults.ignoreWrite = parser.value(QStringLiteral("ignore-write")).toInt(&ok);
        if (!ok || faults.ignoreWrite < 1)
            Fail(QStringLiteral("--ignore-write wants n >= 1"));
    }
    TSimOptions options;
    options.linkPath = parser.value(QStringLiteral("link")).toStdString();
    options.dumpPath = parser.value(QStringLiteral("dump")).toStdString();
    const int interval = parser.value(QStringLiteral("charge-interval")).toInt(&ok);
    if (!ok || interval < 0)
        Fail(QStringLiteral("--charge-interval wants seconds >= 0"));
    options.chargeIntervalMs = interval * 1000;

    // Signals are taken synchronously below; the simulator's thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const bool verbose = parser.isSet(QStringLiteral("verbose"));
    TPtySimulator sim(std::move(device), options);
    sim.OnEvent = [verbose](const std::string& text) {
        if (verbose || text == "hung up")
            std::cerr << "varno-sim: " << text << std::endl;
    };
    std::string error;
    if (!sim.Start(&error))
        Fail(QString::fromStdString(error));
    std::printf("%s\n", sim.DevicePath().c_str());
    if (!options.linkPath.empty())
        std::printf("linked as %s\n", options.linkPath.c_str());
    std::fflush(stdout);

    // Wake once a second to notice a hang-up fault that ended the simulator.
    const timespec second{1, 0};
    while (!sim.HungUp()) {
        if (sigtimedwait(&stopSignals, nullptr, &second) > 0)
            break;
    }
    sim.Stop();
    if (!options.dumpPath.empty()) {
        TVarnoDevice last;
        last.Image() = sim.ImageSnapshot();
        last.SaveParameterFile(options.dumpPath);
    }
    return 0;
}
