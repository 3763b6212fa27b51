// winvarnod as the service manager runs it: a process of its own on the session
// bus, no display, against the simulated exchange; the window's client in this
// process.
#include "PtySimulator.h"
#include "config/ParameterFile.h"
#include "service/DienstKlient.h"
#include "support/TestSupport.h"

#include <QDBusInterface>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

constexpr int kWaitMs = 30000; // generous: the machine may be busy, and a time-out is 10 s

// The service manager's end of NOTIFY_SOCKET, read all the time as the manager
// reads it: a socket left full would hold the service up in its next notification.
class TNotifySocket {
public:
    explicit TNotifySocket(const QString& path) : m_path(QFile::encodeName(path)) {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", m_path.constData());
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        if (m_bound)
            m_reader = std::thread([this] { Read(); });
    }
    ~TNotifySocket() {
        m_stop = true;
        if (m_reader.joinable())
            m_reader.join();
        ::close(m_fd);
        ::unlink(m_path.constData());
    }
    bool bound() const { return m_bound; }
    // Waits for a message starting with `prefix`.
    bool waitFor(const QByteArray& prefix, int timeoutMs) {
        std::unique_lock guard(m_lock);
        return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
            return std::any_of(m_seen.begin(), m_seen.end(),
                               [&](const QByteArray& line) { return line.startsWith(prefix); });
        });
    }

private:
    void Read() {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) != 1)
                continue;
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                continue;
            std::lock_guard guard(m_lock);
            m_seen += QByteArray(buffer, n).split('\n');
            m_changed.notify_all();
        }
    }

    QByteArray m_path;
    int m_fd = -1;
    bool m_bound = false;
    std::atomic<bool> m_stop{false};
    std::thread m_reader;
    std::mutex m_lock;
    std::condition_variable m_changed;
    QByteArrayList m_seen;
};

// What the client hands on, one line each.
struct TProtokoll : session::TBeobachter {
    QStringList seen;
    void GrundblockDecodiert(const config::BasicBlockView& v) override {
        seen << "grundblock " + v.Firmware;
    }
    void GebuehrenBerechnet(const charges::ChargeTexts& t, int ports) override {
        seen << QStringLiteral("gebuehren %1 %2").arg(ports).arg(t.ddeEinheiten);
    }
    void SteuerungFreigeben(bool frei) override { seen << (frei ? "frei" : "gesperrt"); }
    void LesenVollstaendig() override { seen << "vollstaendig"; }
};

QByteArray Zeitplan(const QString& datei) {
    // An entry for the next minute and one for the minute after: one of them comes
    // due after the service has read it, however close to a minute's end it is.
    const QDateTime now = QDateTime::currentDateTime();
    QByteArray ini;
    for (int n = 1; n <= 2; ++n)
        ini += QStringLiteral("[Zeitpunkt%1]\nZeit=%2\nDatei=%3\n")
                   .arg(n)
                   .arg(now.addSecs(60 * n).toString(QStringLiteral("HHmm")), datei)
                   .toUtf8();
    return ini;
}

TEST(Winvarnod, RunsTheSessionUnattendedAndEndsOnSigtermMidWrite) {
    testsupport::ScratchHome home;
    varnosim::TSimOptions options;
    options.byteTimeMs = 0.05;
    options.linkPath = QFile::encodeName(home.file("com1")).toStdString();
    std::mutex lock;
    QStringList simEvents;
    auto startSim = [&] {
        auto sim = std::make_unique<varnosim::TPtySimulator>(varnosim::TVarnoDevice{}, options);
        sim->OnEvent = [&](const std::string& text) {
            std::lock_guard guard(lock);
            simEvents << QString::fromStdString(text);
        };
        std::string error;
        EXPECT_TRUE(sim->Start(&error)) << error;
        return sim;
    };
    auto events = [&] {
        std::lock_guard guard(lock);
        return simEvents;
    };
    auto sim = startSim();

    // A copy of the program in the scratch home keeps its charge log there too.
    const QString program = home.file("winvarnod");
    ASSERT_TRUE(QFile::copy(QStringLiteral(WINVARNOD_EXE), program));
    const QString datei = home.file("nacht.vrn");
    config::ConfigImage achtAnschluesse;
    const varnosim::TImage image = varnosim::DefaultImage();
    std::copy(image.begin(), image.end(), achtAnschluesse.Bytes().begin());
    // Not the exchange's own configuration, which the schedule would not write again.
    achtAnschluesse.SetMsnText(0, u"4799");
    ASSERT_TRUE(config::SaveParameterFile(datei, achtAnschluesse));
    const QByteArray einstellungen =
        "[Allgemein]\nAnschluß=COM1\nKosten=0,12\n[Schnittstellen]\nCOM1=" +
        QFile::encodeName(home.file("com1")) + "\n";
    testsupport::writeAll(home.file("WinVarno.INI"), einstellungen);

    TNotifySocket notify(home.file("notify"));
    ASSERT_TRUE(notify.bound());
    QProcess winvarnod;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("NOTIFY_SOCKET"), home.file("notify"));
    env.insert(QStringLiteral("WINVARNOD_ZYKLUS_SEKUNDEN"), QStringLiteral("1"));
    env.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("2000000"));
    winvarnod.setProcessEnvironment(env);
    winvarnod.start(program, {});
    ASSERT_TRUE(winvarnod.waitForStarted());
    struct Ende {
        QProcess& p;
        ~Ende() {
            if (p.state() != QProcess::NotRunning) {
                p.kill();
                p.waitForFinished();
            }
        }
    } ende{winvarnod};

    // Ready once the settings are read; then a read at start, its row in the log.
    ASSERT_TRUE(notify.waitFor("READY=1", kWaitMs));
    EXPECT_TRUE(notify.waitFor("WATCHDOG=1", kWaitMs)) << "the watchdog beats";
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return testsupport::readAll(home.file("WinVarno.dat")).count('\n') >= 4; }, kWaitMs));
    QStringList units;
    for (int p = 1; p <= 8; ++p)
        units << QString::number(sim->Units(p));
    QDBusInterface dde(QStringLiteral("dde.WinVarno"), QStringLiteral("/WinVarno"),
                       QStringLiteral("dde.Topic"));
    EXPECT_EQ(dde.property("DDEEinheiten").toString(), units.join(u';'));
    EXPECT_TRUE(notify.waitFor("STATUS=Letztes Lesen ", kWaitMs));

    // Cyclic reads follow by themselves.
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return events().filter(QStringLiteral("request 10 answered")).size() >= 3; },
        kWaitMs));

    // A second service is refused with a clear line.
    QProcess zweiter;
    zweiter.setProcessEnvironment(env);
    zweiter.start(program, {});
    ASSERT_TRUE(zweiter.waitForFinished(kWaitMs));
    EXPECT_EQ(zweiter.exitCode(), 1);
    EXPECT_TRUE(zweiter.readAllStandardError().startsWith("<3>Der WinVarno-Dienst läuft schon"));

    // The window's client: the state at once, then every report of a read it asks for.
    TProtokoll protokoll;
    config::ConfigImage bild;
    config::DecodedArrays arrays;
    service::TDienstKlient klient(protokoll, bild, arrays);
    ASSERT_TRUE(klient.DienstLaeuft());
    QString grund;
    ASSERT_TRUE(klient.Verbinden(&grund)) << grund.toStdString();
    EXPECT_TRUE(protokoll.seen.contains("grundblock 1.93"))
        << protokoll.seen.join(u'\n').toStdString();
    EXPECT_TRUE(protokoll.seen.contains("gebuehren 8 " + units.join(u';')));
    EXPECT_EQ(bild.PortCountByte(), 8);
    QStringList ergebnisse;
    klient.LesenBeendet = [&](const QDateTime&, const QString& ergebnis) {
        ergebnisse << ergebnis;
    };
    // Refused only while a cyclic read runs.
    ASSERT_TRUE(testsupport::WaitUntil([&] { return klient.Lesen().isEmpty(); }, kWaitMs));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !ergebnisse.isEmpty(); }, kWaitMs));
    EXPECT_TRUE(protokoll.seen.contains("vollstaendig"));

    // Unplugged: one line in the journal however many reads fail; plugged again,
    // read at the next turn.
    sim->Stop();
    ergebnisse.clear();
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] {
            return ergebnisse.filter(QRegularExpression(QStringLiteral("^(Schnittstelle|Komm)")))
                       .size() >= 3;
        },
        kWaitMs));
    sim.reset(); // it would take the new one's link with it
    sim = startSim();
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return ergebnisse.contains(QStringLiteral("vollständig")); }, kWaitMs))
        << ergebnisse.join(u'\n').toStdString() << "\n"
        << winvarnod.readAllStandardError().toStdString();

    // The schedule, written into the settings file while the service runs.
    testsupport::writeAll(home.file("WinVarno.INI"), einstellungen + Zeitplan(datei));
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return events().contains(QStringLiteral("basic block written")); }, 150000))
        << "the scheduled write never started: " << winvarnod.readAllStandardError().toStdString()
        << events().mid(events().size() - 10).join(u'\n').toStdString();
    ASSERT_EQ(::kill(pid_t(winvarnod.processId()), SIGTERM), 0);
    ASSERT_TRUE(winvarnod.waitForFinished(kWaitMs)) << "still running after SIGTERM";
    EXPECT_EQ(winvarnod.exitStatus(), QProcess::NormalExit) << "ended by itself, not killed";
    EXPECT_TRUE(winvarnod.exitCode() == 0 || winvarnod.exitCode() == 128 + SIGTERM)
        << winvarnod.exitCode();
    EXPECT_FALSE(events().contains(QStringLiteral("charge block written")))
        << "the write stopped between two line bytes";

    const QStringList journal =
        QString::fromUtf8(winvarnod.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& zeile : journal)
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^<[0-7]>")).match(zeile).hasMatch())
            << zeile.toStdString();
    // One line per outage: the unplugging's, and any time-out a busy machine adds,
    // each ended by the read that succeeds again.
    bool offen = false;
    for (const QString& zeile : journal) {
        if (zeile.startsWith(QStringLiteral("<3>"))) {
            EXPECT_FALSE(offen) << "the same outage again: " << zeile.toStdString();
            offen = true;
        }
        if (zeile.startsWith(QStringLiteral("<6>Anlage an COM1 ist wieder erreichbar")))
            offen = false;
    }
    EXPECT_FALSE(journal.filter(QStringLiteral("<3>")).isEmpty());
    sim->Stop();
}

} // namespace
