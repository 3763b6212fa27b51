// Start-up, the one-second timer and close handling of the main window.
#include "app/HauptFormular.h"
#include "app/Hilfe.h"
#include "app/StatusZeile.h"
#include "app/ZeitEdit.h"
#include "catalogue/Catalogue.h"
#include "desktop/TrayIcon.h"
#include "desktop/UMsgHook.h"
#include "platform/IniFile.h"
#include "platform/Priority.h"
#include "platform/ProgramFiles.h"
#include "platform/SingleInstance.h"
#include "serial/Comm32.h"
#include "service/DienstKlient.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>
#include <exception>

namespace {
const QString kTitel = QStringLiteral("Varno KM20/KM50 - Konfiguration");
}

THauptFenster::THauptFenster(TUmgebung umgebung, QWidget* parent)
    : QWidget(parent), m_env(std::move(umgebung)) {
    BaueFenster();
    VerbindeSitzung();
    OnCreate();
}

THauptFenster::~THauptFenster() {
    // The service's reports end here: they would land in a half-destroyed window.
    m_dienst.reset();
    // QWidget's own teardown still sends events (deactivation, hiding); by then this
    // object is only a QWidget, so nothing may call back into it any more.
    delete MessageHook;
    MessageHook = nullptr;
    delete TaskleistenIcon;
    TaskleistenIcon = nullptr;
}

bool THauptFenster::DoIExist() {
    m_instance = std::make_unique<platform::SingleInstance>(kTitel);
    if (!m_instance->alreadyRunning())
        return false;
    m_instance.reset();
    if (m_env.warnung)
        m_env.warnung(QStringLiteral("Warnung"), catalogue::Text(meldung::SchonAktiv));
    return true;
}

void THauptFenster::OnCreate() {
    // 1: a second instance tells the user and ends before touching anything else.
    if (DoIExist()) {
        m_terminated = true;
        SekundenTimer->stop();
        return;
    }
    // Only the instance that runs on appears in the notification area.
    BaueTaskleistenIcon();
    platform::RaiseProcessPriority();
    m_sitzung->Vorbereiten();
    HelpFile = platform::programfiles::BesideProgram(m_env.programPath, QStringLiteral(".hlp"));
    // While the service winvarnod runs, it has the line and exports the charges; the
    // window shows what it reports.
    const bool dienst = DienstSuchen();
    if (!dienst)
        DdeExportieren();
    Hilfe = new THilfe(HelpFile, this);
    Hilfe->setObjectName(QStringLiteral("Hilfe"));
    BaueTabellen();
    for (int i = 0; i < 5; ++i)
        BerechtigungsNamen[i] = catalogue::Text(meldung::BerechtigungErste + i);
    for (int i = 0; i < 6; ++i)
        DienstNamen[i] = catalogue::Text(meldung::DienstErster + i);
    ZeigeMeldung(meldung::Keine, stufe::Normal);

    m_sitzung->SetzeSchalter(startup::ParseCommandLine(m_env.arguments));

    // 9: one read batch of the settings file.
    const platform::IniFile ini(m_env.settingsPath);
    // Without a port the window is made complete all the same; only the reads wait
    // for the device, which the next cyclic or scheduled read, or "Lesen", opens.
    bool offen = false;
    if (ini.unreadable())
        ZeigeDateiFehler(meldung::EinstellungenUnlesbar, ini.path(), ini.error());
    else if (!dienst)
        offen = m_sitzung->OeffneSchnittstelle(startup::LiesPortName(ini));

    ZeigeSeite(m_sitzung->AutoEnde() ? TabGebuehren : TabKonfiguration, MSNParametrierung);
    MSNAuswahl->setCurrentIndex(0);
    SelectedMsn = 0;
    abAuswahl->setCurrentIndex(0);
    SelectedPort = 0;
    BerechtigungsAuswahl->setCurrentIndex(0);
    DienstAuswahl->setCurrentIndex(0);

    AktualisiereUhrzeit();
    VersionsString->setText(VersionsString->text()
                                .replace(VersionsString->text().indexOf(QStringLiteral("%s")), 2,
                                         QStringLiteral("3.03"))
                                .replace(QStringLiteral("%s"), QStringLiteral("13. Juli 1996")));

    EinstellungenAnwenden(ini);
    const startup::Einstellungen e = startup::LiesEinstellungen(ini);
    SetzeFensterPosition(e.fensterX, e.fensterY);
    for (int n = 0; n < 4; ++n) {
        EditUhrzeit[n]->setZeitText(e.zeitpunkte[n].zeit);
        EditDateiname[n]->setText(e.zeitpunkte[n].datei);
    }

    m_sitzung->ArmeZyklus();
    ZyklischNeuLesen->setChecked(m_sitzung->Zyklisch());
    // The service's latest read instead of one of our own.
    if (dienst)
        DienstVerbinden();
    else if (offen)
        LesenButtonClick();
}

void THauptFenster::OnSekunde() {
    m_sitzung->Sekunde();
}

void THauptFenster::EndeAngefordert() {
    close();
}

void THauptFenster::Uhrzeit(const QDateTime& jetzt) {
    StatusZeile->setPanelText(1, jetzt.toString(QStringLiteral("HH:mm:ss")));
}

void THauptFenster::HilfeButtonClick() {
    Hilfe->ShowContents();
}

void THauptFenster::BeendenButtonClick() {
    m_sitzung->BeendenAnfordern();
    close();
}

void THauptFenster::EndeAufSignal() {
    m_sitzung->BeendenAnfordern();
    close();
}

void THauptFenster::closeEvent(QCloseEvent* event) {
    OnClose(event);
}

void THauptFenster::OnClose(QCloseEvent* event) {
    if (m_sitzung->BeendenAngefordert()) {
        // A write still running ends between two line bytes, before the port goes.
        m_sitzung->Beenden();
        SekundenTimer->stop();
        // The help window is a window of its own: left open, it would keep the
        // program running after "Beenden".
        if (Hilfe->helpWindow())
            Hilfe->helpWindow()->close();
        event->accept();
        return;
    }
    event->ignore();
    if (TaskleistenIcon)
        TaskleistenIcon->Minimize();
    else
        showMinimized();
}

void THauptFenster::OnMessage(TMessage& message) {
    if (message.Msg != WM_MOVE || !PositionErinnerbar())
        return;
    platform::IniFile ini(m_env.settingsPath);
    ini.writeString(QStringLiteral("Fenster"), QStringLiteral("X-Position"), QString::number(x()));
    ini.writeString(QStringLiteral("Fenster"), QStringLiteral("Y-Position"), QString::number(y()));
    // Nobody asked for this save, so a failure must be said: the file stays as it was.
    if (!ini.save())
        ZeigeDateiFehler(meldung::EinstellungenNichtGespeichert, ini.path(), ini.error());
}
