// winvarnod: the WinVarno session without a window, as a systemd user service.
#include "catalogue/Catalogue.h"
#include "platform/DesktopNotification.h"
#include "platform/EndSignals.h"
#include "platform/IniFile.h"
#include "platform/SingleInstance.h"
#include "serial/Comm32.h"
#include "service/Dienst.h"
#include "service/Systemd.h"
#include "settings/Startup.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <csignal>
#include <cstdio>

namespace {

void Zeile(int prioritaet, const QString& text) {
    std::fprintf(stderr, "<%d>%s\n", prioritaet, text.toUtf8().constData());
    std::fflush(stderr);
}

// Qt's own warnings reach the journal with a priority too.
void QtZeile(QtMsgType typ, const QMessageLogContext&, const QString& text) {
    switch (typ) {
    case QtDebugMsg:
        Zeile(7, text);
        break;
    case QtInfoMsg:
        Zeile(6, text);
        break;
    case QtWarningMsg:
        Zeile(4, text);
        break;
    case QtCriticalMsg:
    case QtFatalMsg:
        Zeile(3, text);
        break;
    }
}

const char* const kHilfe =
    "Aufruf: winvarnod [--help] [--version]\n"
    "Liest die Anlage ohne Fenster: beim Start und alle \"Wartezeit\" Minuten, mit\n"
    "Gebührenprotokoll, Budgets, Zeitsteuerung und dem Export dde.WinVarno; dazu die\n"
    "Schnittstelle de.winvarno.WinVarno.Sitzung1 auf dem Sitzungsbus.\n"
    "Als Dienst: systemctl --user enable --now winvarnod (siehe man winvarnod)\n";

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(QtZeile);
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("winvarnod"));
    for (const QString& a : app.arguments().mid(1)) {
        if (a == QStringLiteral("--help") || a == QStringLiteral("-h")) {
            std::fputs(kHilfe, stdout);
            return 0;
        }
        if (a == QStringLiteral("--version")) {
            std::puts("winvarnod 3.03");
            return 0;
        }
        Zeile(3, QStringLiteral("winvarnod: unbekanntes Argument %1").arg(a));
        return 2;
    }

    // Made first, so a signal during start-up waits in its pipe instead of killing.
    platform::TEndSignals endSignals;
    endSignals.EndWithin(1500);
    std::signal(SIGXFSZ, SIG_IGN);

    // Refused without the bus too: the lock is the line's one owner.
    platform::SingleInstance instanz(QStringLiteral("winvarnod"));
    if (instanz.alreadyRunning()) {
        Zeile(3, catalogue::Text(catalogue::meldung::DienstLaeuftSchon));
        return 1;
    }

    service::TSystemd systemd;
    TComm32 communication;
    service::TDienstUmgebung env;
    env.sitzung.settingsPath = platform::IniFile::SettingsPath();
    // The window's companions: the charge log is the one WinVarno keeps beside it.
    env.sitzung.programPath = QFileInfo(QCoreApplication::applicationFilePath()).absolutePath() +
                              QStringLiteral("/WinVarno");
    const QString commsLog = qEnvironmentVariable("WINVARNO_COMMSLOG");
    env.sitzung.vorDemOeffnen = [&communication, commsLog,
                                 path = env.sitzung.settingsPath](const platform::IniFile& ini) {
        communication.SetCommsLogFileName(startup::KommunikationsProtokoll(ini, commsLog));
        communication.SetPortLookup([path](const QString& key) {
            return platform::IniFile(path).value(QStringLiteral("Schnittstellen"), key);
        });
    };
    env.journal = Zeile;
    env.budgetHinweis = [](const QString& text) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected() && bus.interface() &&
            bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")))
            platform::Notify(QStringLiteral("WinVarno"), text);
    };
    // Only for tests and benchmarks: a shorter cyclic period than a minute.
    bool ok = false;
    const int zyklus = qEnvironmentVariableIntValue("WINVARNOD_ZYKLUS_SEKUNDEN", &ok);
    if (ok && zyklus > 0)
        env.zyklusSekunden = zyklus;

    service::TDienst dienst(std::move(env), communication);
    switch (dienst.Anmelden()) {
    case service::TDienst::TAnmeldung::Angemeldet:
        break;
    case service::TDienst::TAnmeldung::Vergeben:
        Zeile(3,
              catalogue::Text(catalogue::meldung::DienstLaeuftSchon) +
                  QStringLiteral(" (%1 ist auf dem Sitzungsbus vergeben)").arg(service::kBusName));
        return 1;
    case service::TDienst::TAnmeldung::KeinBus:
        Zeile(4, QStringLiteral("Kein Sitzungsbus: winvarnod läuft ohne D-Bus-Schnittstelle "
                                "und ohne Export"));
        break;
    }
    QObject::connect(&dienst, &service::TDienst::Bereit, &systemd, [&systemd] {
        systemd.Bereit();
        Zeile(6, QStringLiteral("winvarnod bereit"));
    });
    QObject::connect(&dienst, &service::TDienst::StatusGeaendert, &systemd,
                     [&systemd](const QString& status) { systemd.Status(status); });
    QObject::connect(&endSignals, &platform::TEndSignals::EndRequested, &dienst, [&](int) {
        systemd.Beendet();
        // A write still running ends between two line bytes, then the loop ends.
        dienst.Beenden();
        QCoreApplication::quit();
    });
    dienst.Starten();
    return app.exec();
}
