// The window as the client of the service winvarnod: while the service runs, it
// has the line; the window shows what it reports and hands it the user's requests.
#include "app/HauptFormular.h"
#include "app/StatusZeile.h"
#include "catalogue/Catalogue.h"
#include "platform/DdeExport.h"
#include "platform/IniFile.h"
#include "service/DienstKlient.h"
#include "service/Schnittstelle.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

// --- the service's reports ---

void THauptFenster::TDienstBeobachter::Meldung(int nummer, int stufe, const QString& argument) {
    m_w.Meldung(nummer, stufe, argument);
}

void THauptFenster::TDienstBeobachter::MeldungsGrund(const QString& grund) {
    m_w.MeldungsGrund(grund);
}

void THauptFenster::TDienstBeobachter::DateiFehler(int nummer, const QString& pfad, int fehler) {
    m_w.DateiFehler(nummer, pfad, fehler);
}

// "Schreiben" follows what the service may write: its image is fit once a read (or a
// file it loaded) brought the terminal block after the basic block.
void THauptFenster::TDienstBeobachter::GrundblockDecodiert(const config::BasicBlockView& view) {
    m_w.m_sitzung->Transfer().ForgetImage();
    m_w.GrundblockDecodiert(view);
}

void THauptFenster::TDienstBeobachter::EndgeraeteblockDecodiert(
    const config::TerminalBlockView& view) {
    m_w.m_sitzung->Transfer().ImageLoaded();
    m_w.EndgeraeteblockDecodiert(view);
}

void THauptFenster::TDienstBeobachter::GebuehrenBerechnet(const charges::ChargeTexts& texte,
                                                          int ports) {
    m_w.GebuehrenBerechnet(texte, ports);
}

void THauptFenster::TDienstBeobachter::ZuwaechseBerechnet(
    const std::array<QString, kPorts>& zuwaechse, const QString& summe, int ports) {
    m_w.ZuwaechseBerechnet(zuwaechse, summe, ports);
    // AUTOENDE: the charges were shown, as after a read of the window's own.
    if (m_w.m_sitzung->AutoEnde())
        m_w.m_sitzung->SetAutoEndeZaehler(3);
}

void THauptFenster::TDienstBeobachter::ZaehlerBehalten(int port, std::uint16_t wert) {
    m_w.ZaehlerBehalten(port, wert);
}

void THauptFenster::TDienstBeobachter::SteuerungFreigeben(bool frei) {
    m_w.SteuerungFreigeben(frei);
}

void THauptFenster::TDienstBeobachter::LesenVollstaendig() {
    m_w.LesenVollstaendig();
}

void THauptFenster::TDienstBeobachter::FirmwareAbgelehnt() {
    m_w.FirmwareAbgelehnt();
}

void THauptFenster::TDienstBeobachter::BildVergessen() {
    m_w.m_sitzung->Transfer().ForgetImage();
    m_w.BildVergessen();
}

void THauptFenster::TDienstBeobachter::TransferBeendet() {
    m_w.TransferBeendet();
}

// A budget warning is not passed on: the service tells the desktop itself.

// --- who has the line ---

bool THauptFenster::DienstVerbunden() const {
    return m_dienst && m_dienst->Verbunden();
}

bool THauptFenster::TransferAktiv() const {
    if (DienstVerbunden())
        return m_dienst->TransferLaeuft();
    return m_sitzung->TransferAktiv();
}

QString THauptFenster::AnzeigePort() const {
    if (DienstVerbunden())
        return m_dienst->Eigenschaft(QStringLiteral("Schnittstelle")).toString();
    return m_sitzung->CommPort();
}

bool THauptFenster::DienstSuchen() {
    const QDBusConnection bus = m_env.dienstBus ? m_env.dienstBus() : QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    m_dienstBeobachter = std::make_unique<TDienstBeobachter>(*this);
    m_dienst = std::make_unique<service::TDienstKlient>(*m_dienstBeobachter, m_sitzung->Image(),
                                                        m_sitzung->Arrays(), bus);
    // Queued: the owner's change arrives inside whatever handler processes events.
    m_dienst->DienstGegangen = [this] {
        QTimer::singleShot(0, this, [this] { DienstGegangen(); });
    };
    m_dienst->DienstGekommen = [this] {
        QTimer::singleShot(0, this, [this] { DienstGekommen(); });
    };
    return m_dienst->DienstLaeuft();
}

bool THauptFenster::DienstVerbinden() {
    // Closed first: the port is the service's from now on.
    if (!m_sitzung->LeitungAbgegeben() && !m_sitzung->LeitungAbgeben())
        return false;
    QString grund;
    if (!m_dienst->Verbinden(&grund)) {
        ZeigeDienstAntwort(grund);
        LeitungUebernehmen();
        return false;
    }
    // What the service may write now, also when its last read left the blocks as
    // they are.
    if (m_dienst->Schreibsperre() == device::TWriteBlocker::None)
        m_sitzung->Transfer().ImageLoaded();
    else
        m_sitzung->Transfer().ForgetImage();
    SchreibenPruefen();
    // A whole read is shown: from now on the window's moves are kept, as after one of ours.
    const uint bloecke = m_dienst->Eigenschaft(QStringLiteral("Bloecke")).toUInt();
    if ((bloecke & (service::kGrundblock | service::kEndgeraeteblock | service::kGebuehren)) ==
            (service::kGrundblock | service::kEndgeraeteblock | service::kGebuehren) &&
        !m_dienst->Eigenschaft(QStringLiteral("FirmwareAbgelehnt")).toBool())
        LesenVollstaendig();
    return true;
}

void THauptFenster::DienstGegangen() {
    if (!DienstVerbunden() || m_dienst->DienstLaeuft())
        return;
    m_dienst->Trennen();
    // The service's state went with it: the port is the one the settings file names.
    ZeigeMeldung(meldung::DienstGegangen, stufe::Fortschritt,
                 startup::LiesPortName(platform::IniFile(m_env.settingsPath)));
    LeitungUebernehmen();
}

void THauptFenster::DienstGekommen() {
    if (!m_dienst || !m_dienst->DienstLaeuft()) {
        m_dienstUebergabe = false; // it went again meanwhile
        return;
    }
    if (DienstVerbunden()) {
        // Another process took the name: its state replaces the last one's.
        DienstVerbinden();
        return;
    }
    // A transfer of the window's own ends first; TransferBeendet comes back here.
    if (m_sitzung->TransferAktiv()) {
        m_dienstUebergabe = true;
        return;
    }
    m_dienstUebergabe = false;
    const QString port = AnzeigePort();
    if (!DienstVerbinden())
        return;
    ZeigeMeldung(meldung::DienstGekommen, stufe::Fortschritt, port);
    // The service waits for the name of the export: it has it once ours is gone.
    delete WinVarno;
    WinVarno = nullptr;
    // The service may have found the port still ours at its start: then it reads now.
    if (!m_dienst->TransferLaeuft() &&
        !(m_dienst->Eigenschaft(QStringLiteral("Bloecke")).toUInt() & service::kGebuehren))
        ZeigeDienstAntwort(m_dienst->Lesen());
}

void THauptFenster::LeitungUebernehmen() {
    m_sitzung->LeitungZuruecknehmen();
    DdeExportieren();
    // Whatever the service's last transfer locked is free again; a read locks anew.
    SetControlsEnabled(true);
    const platform::IniFile ini(m_env.settingsPath);
    bool offen = false;
    if (ini.unreadable())
        ZeigeDateiFehler(meldung::EinstellungenUnlesbar, ini.path(), ini.error());
    else
        offen = m_sitzung->OeffneSchnittstelle(startup::LiesPortName(ini));
    m_sitzung->ArmeZyklus();
    if (offen)
        m_sitzung->StartRead();
}

void THauptFenster::DdeExportieren() {
    if (WinVarno)
        return;
    // The service name is the program file's name up to its first point.
    WinVarno = new TDdeServer(QFileInfo(m_env.programPath).fileName().section(u'.', 0, 0),
                              QStringLiteral("WinVarno"), this);
    WinVarno->setObjectName(QStringLiteral("WinVarno"));
}

void THauptFenster::ZeigeDienstAntwort(const QString& grund) {
    if (grund.isEmpty())
        return;
    const QString text = QString(QChar(u'0' + stufe::Fehler)) + u':' + grund;
    StatusZeile->setPanelText(0, text, text.mid(2));
    SetzeStatusGrund(QString());
    QCoreApplication::processEvents();
}
