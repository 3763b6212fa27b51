#include "service/Dienst.h"

#include "catalogue/Catalogue.h"
#include "charges/ChargeEvaluation.h"
#include "platform/DdeExport.h"
#include "platform/IniFile.h"
#include "serial/PortName.h"
#include "service/Introspektion.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

namespace service {

namespace meldung = catalogue::meldung;
namespace stufe = catalogue::stufe;

namespace {

const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kLeitung = QStringLiteral("Leitung"); // the journal's key of an outage

QString Iso(const QDateTime& t) {
    return t.isValid() ? t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODate) : QString();
}

QString Ergebnis(device::TWriteResult r) {
    switch (r) {
    case device::TWriteResult::Written:
        return QStringLiteral("geschrieben");
    case device::TWriteResult::Differs:
        return QStringLiteral("geschrieben, die Anlage weicht ab");
    case device::TWriteResult::NotChecked:
        return QStringLiteral("geschrieben, nicht geprüft");
    case device::TWriteResult::NotStarted:
        return QStringLiteral("nicht gestartet");
    case device::TWriteResult::LineRefused:
        return QStringLiteral("Leitung verweigert");
    case device::TWriteResult::ChargesNotWritten:
        return QStringLiteral("Gebühren nicht geschrieben");
    case device::TWriteResult::Aborted:
        return QStringLiteral("abgebrochen");
    case device::TWriteResult::Refused:
        return QStringLiteral("abgelehnt");
    }
    return {};
}

QDBusMessage Fehler(const QDBusMessage& m, const QString& name, const QString& text) {
    return m.createErrorReply(name, text);
}

// A value of the state as it goes on the bus; the status line is a structure.
QVariant AufDemBus(const QString& name, const QVariant& wert) {
    if (name != QStringLiteral("Meldung"))
        return wert;
    const QVariantList l = wert.toList();
    QDBusArgument arg;
    arg.beginStructure();
    arg << l.value(0).toInt() << l.value(1).toInt() << l.value(2).toString() << l.value(3).toInt()
        << l.value(4).toString();
    arg.endStructure();
    return QVariant::fromValue(arg);
}

// The file as it stands: inode, size and time of its last change; empty when absent.
QByteArray Stand(const QString& pfad) {
    struct stat st {};
    if (::stat(QFile::encodeName(pfad).constData(), &st) != 0)
        return {};
    return QByteArray::number(qulonglong(st.st_ino)) + ':' +
           QByteArray::number(qlonglong(st.st_size)) + ':' +
           QByteArray::number(qlonglong(st.st_mtim.tv_sec)) + '.' +
           QByteArray::number(qlonglong(st.st_mtim.tv_nsec));
}

// The interface's part of the introspection file.
QString InterfaceXml() {
    const QString xml = QString::fromUtf8(kSitzung1Xml);
    const qsizetype anfang = xml.indexOf(QStringLiteral("<interface"));
    const qsizetype ende = xml.lastIndexOf(QStringLiteral("</interface>"));
    if (anfang < 0 || ende < anfang)
        return {};
    return xml.mid(anfang, ende + 12 - anfang);
}

} // namespace

TDienst::TDienst(TDienstUmgebung umgebung, device::TLine& line, QObject* parent)
    : QDBusVirtualObject(parent), m_env(std::move(umgebung)) {
    if (!m_env.journal)
        m_env.journal = [](int prioritaet, const QString& text) {
            std::fprintf(stderr, "<%d>%s\n", prioritaet, text.toUtf8().constData());
            std::fflush(stderr);
        };
    // The journal hears of a port that cannot be opened once per outage, here.
    m_env.sitzung.grundAufStderr = false;
    session::TBeobachter& beobachter = *this;
    m_sitzung = std::make_unique<session::TSitzung>(m_env.sitzung, line, beobachter);
    m_sekunde = new QTimer(this);
    m_sekunde->setInterval(m_env.sekundeMs);
    connect(m_sekunde, &QTimer::timeout, this, [this] { m_sitzung->Sekunde(); });
    // A file replaced by rename comes as several events: read once they settle.
    m_neuLaden = new QTimer(this);
    m_neuLaden->setSingleShot(true);
    m_neuLaden->setInterval(200);
    connect(m_neuLaden, &QTimer::timeout, this, [this] {
        if (!m_beenden)
            EinstellungenLaden(false);
    });
}

TDienst::~TDienst() {
    if (m_angemeldet) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(kBusName);
        bus.unregisterObject(kObjektPfad);
    }
}

TDienst::TAnmeldung TDienst::Anmelden() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return TAnmeldung::KeinBus;
    if (!bus.registerVirtualObject(kObjektPfad, this, QDBusConnection::SingleNode))
        return TAnmeldung::Vergeben;
    if (!bus.registerService(kBusName)) {
        bus.unregisterObject(kObjektPfad);
        return TAnmeldung::Vergeben;
    }
    m_angemeldet = true;
    return TAnmeldung::Angemeldet;
}

void TDienst::Starten() {
    m_sitzung->Vorbereiten();
    // Unattended: a read at start and every "Wartezeit" minutes, never an automatic end.
    m_sitzung->SetzeSchalter({false, true});
    m_sitzung->SetZyklischNeuLesen(true);
    if (m_env.ddeExport)
        // Queued behind a window that still exports them; it lets go when it hands
        // over the line.
        m_dde = new TDdeServer(QStringLiteral("WinVarno"), QStringLiteral("WinVarno"), this, true);
    const bool gelesen = EinstellungenLaden(true);
    DateiBeobachten();
    emit Bereit();
    if (m_env.sekundeMs > 0)
        m_sekunde->start();
    bool offen = false;
    if (gelesen)
        offen = m_sitzung->OeffneSchnittstelle(m_port);
    m_sitzung->ArmeZyklus();
    if (offen)
        m_sitzung->StartRead();
    EigenschaftenMelden();
}

void TDienst::Beenden() {
    m_beenden = true;
    m_sekunde->stop();
    m_neuLaden->stop();
    m_sitzung->Beenden();
}

bool TDienst::EinstellungenLaden(bool start) {
    const platform::IniFile ini(m_env.sitzung.settingsPath);
    if (ini.unreadable()) {
        DateiFehler(meldung::EinstellungenUnlesbar, ini.path(), ini.error());
        return false;
    }
    startup::Einstellungen e = startup::LiesEinstellungen(ini);
    if (m_env.zyklusSekunden > 0)
        e.zyklusSekunden = m_env.zyklusSekunden;
    m_sitzung->EinstellungenAnwenden(e);
    m_sitzung->WochenplanAnwenden(ini);
    for (int n = 0; n < schedule::kEntries; ++n)
        m_sitzung->SetZeitpunkt(
            n, {e.zeitpunkte[std::size_t(n)].zeit, e.zeitpunkte[std::size_t(n)].datei});
    const QString port = startup::LiesPortName(ini);
    const QString geraet = serial::ResolveCommPort(port, [&ini](const QString& key) {
        return ini.value(QStringLiteral("Schnittstellen"), key);
    });
    const bool anders = port != m_port || geraet != m_geraet;
    m_port = port;
    m_geraet = geraet;
    if (!start)
        Journal(kInfo, QStringLiteral("Einstellungen neu gelesen: %1").arg(ini.path()));
    if (!start && anders) {
        Journal(kInfo, QStringLiteral("Einstellungen: Schnittstelle %1 (%2)").arg(port, geraet));
        m_sitzung->PortNeuOeffnen();
    }
    EigenschaftenMelden();
    return true;
}

void TDienst::DateiBeobachten() {
    const QFileInfo datei(m_env.sitzung.settingsPath);
    m_watcher = new QFileSystemWatcher(this);
    // The folder too: a file replaced by rename is another file, which the watch on
    // the old one never sees.
    if (QFileInfo(datei.absolutePath()).isDir())
        m_watcher->addPath(datei.absolutePath());
    if (datei.exists())
        m_watcher->addPath(datei.absoluteFilePath());
    const auto geaendert = [this, pfad = datei.absoluteFilePath()] {
        if (QFileInfo::exists(pfad) && !m_watcher->files().contains(pfad))
            m_watcher->addPath(pfad);
        // Other files of the folder (a log, a temporary file) change nothing here.
        const QByteArray stand = Stand(pfad);
        if (stand == m_dateiStand)
            return;
        m_dateiStand = stand;
        m_neuLaden->start();
    };
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, geaendert);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, geaendert);
    m_dateiStand = Stand(datei.absoluteFilePath());
}

// --- the journal ---

void TDienst::Journal(int prioritaet, const QString& text) {
    m_env.journal(prioritaet, text);
}

void TDienst::Stoerung(const QString& schluessel, const QString& text, int prioritaet) {
    m_diesesLesen.insert(schluessel);
    if (m_bekannt.contains(schluessel))
        return;
    m_bekannt.insert(schluessel);
    Journal(prioritaet, text);
}

void TDienst::LesenEnde(const QString& ergebnis) {
    m_letztesLesen = m_env.sitzung.now ? m_env.sitzung.now() : QDateTime::currentDateTime();
    m_letztesErgebnis = ergebnis;
    Senden(QStringLiteral("LesenBeendet"), {Iso(m_letztesLesen), ergebnis});
    emit StatusGeaendert(
        QStringLiteral("Letztes Lesen %1: %2")
            .arg(m_letztesLesen.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")), ergebnis));
}

// --- the session's reports ---

void TDienst::Meldung(int nummer, int stufe, const QString& argument) {
    const QString text = catalogue::PanelText(nummer, stufe, argument).mid(2);
    m_meldungNummer = nummer;
    m_meldungStufe = stufe;
    m_meldungArgument = argument;
    m_meldungFehler = -1;
    m_meldungText = text;
    m_meldungsGrund.clear();
    Senden(QStringLiteral("Meldung"), {nummer, stufe, argument, text});
    const bool schreibt = m_sitzung->Transfer().Writing();
    if (nummer == meldung::GrundLesen && !schreibt) {
        m_liest = true;
        m_vollstaendig = false;
        m_leseFehler.clear();
        m_diesesLesen.clear();
    }
    if (stufe == stufe::Fehler) {
        if (m_liest)
            m_leseFehler = text;
        switch (nummer) {
        case meldung::NichtGeoeffnet:
            m_grundErwartet = text; // into the journal with its reason
            break;
        case meldung::UngueltigerPort:
            m_leitungGestoert = true;
            Stoerung(kLeitung, text);
            if (!m_liest && !schreibt)
                LesenEnde(text);
            break;
        case meldung::Kommunikationsfehler:
            m_leitungGestoert = true;
            Stoerung(kLeitung, text);
            break;
        case meldung::BudgetAnschluss:
        case meldung::BudgetSumme:
        case meldung::BudgetMehrere:
            break; // BudgetWarnung tells each one
        default:
            Stoerung(text, text);
        }
    } else if (nummer == meldung::GrundSchreiben && schreibt) {
        m_schreibt = true;
        m_schreibFehler.clear();
        Journal(kInfo, text);
    }
    if (stufe == stufe::Fehler && m_schreibt)
        m_schreibFehler = text;
    EigenschaftenMelden();
}

void TDienst::MeldungsGrund(const QString& grund) {
    m_meldungsGrund = grund;
    Senden(QStringLiteral("MeldungsGrund"), {grund});
    if (!m_grundErwartet.isEmpty()) {
        const QString text = m_grundErwartet + QStringLiteral(": ") + grund;
        m_grundErwartet.clear();
        m_leitungGestoert = true;
        Stoerung(kLeitung, text);
        if (!m_liest && !m_sitzung->Transfer().Writing())
            LesenEnde(text);
    }
    EigenschaftenMelden();
}

void TDienst::DateiFehler(int nummer, const QString& pfad, int fehler) {
    const QString text = catalogue::MitGrund(nummer, pfad, fehler);
    m_meldungNummer = nummer;
    m_meldungStufe = stufe::Fehler;
    m_meldungArgument = pfad;
    m_meldungFehler = fehler;
    m_meldungText = text;
    m_meldungsGrund.clear();
    Senden(QStringLiteral("DateiFehler"), {nummer, pfad, fehler, text});
    Stoerung(text, text);
    EigenschaftenMelden();
}

void TDienst::GrundblockDecodiert(const config::BasicBlockView&) {
    m_bloecke |= kGrundblock;
    Senden(QStringLiteral("GrundblockDecodiert"), {BildBytes()});
    EigenschaftenMelden();
}

void TDienst::EndgeraeteblockDecodiert(const config::TerminalBlockView&) {
    m_bloecke |= kEndgeraeteblock;
    Senden(QStringLiteral("EndgeraeteblockDecodiert"), {BildBytes()});
    EigenschaftenMelden();
}

void TDienst::GebuehrenBerechnet(const charges::ChargeTexts& t, int ports) {
    m_texte = t;
    m_ports = ports;
    m_bloecke |= kGebuehren;
    if (m_dde) {
        m_dde->SetEinheiten(t.ddeEinheiten);
        m_dde->SetKosten(t.ddeKosten);
    }
    const QStringList einheiten(t.einheiten.begin(), t.einheiten.end());
    const QStringList kosten(t.kosten.begin(), t.kosten.end());
    Senden(QStringLiteral("GebuehrenBerechnet"),
           {BildBytes(), einheiten, kosten, t.einheitenSumme, t.kostenSumme, t.ddeEinheiten,
            t.ddeKosten, t.unitsSum, ports});
    EigenschaftenMelden();
}

void TDienst::ZuwaechseBerechnet(const std::array<QString, session::kPorts>& zuwaechse,
                                 const QString& summe, int ports) {
    m_zuwaechse = zuwaechse;
    m_zuwachsSumme = summe;
    Senden(QStringLiteral("ZuwaechseBerechnet"),
           {QStringList(zuwaechse.begin(), zuwaechse.end()), summe, ports});
    EigenschaftenMelden();
}

void TDienst::ZaehlerBehalten(int port, std::uint16_t wert) {
    Senden(QStringLiteral("ZaehlerBehalten"),
           {QVariant::fromValue(ushort(port)), QVariant::fromValue(ushort(wert))});
}

void TDienst::SteuerungFreigeben(bool frei) {
    m_steuerungFrei = frei;
    Senden(QStringLiteral("SteuerungFreigeben"), {frei});
    EigenschaftenMelden();
}

void TDienst::LesenVollstaendig() {
    m_vollstaendig = true;
    m_firmwareAbgelehnt = false;
    if (m_leitungGestoert) {
        m_leitungGestoert = false;
        Journal(kInfo, catalogue::Fill(meldung::WiederErreichbar, m_sitzung->CommPort()));
    }
    // What this read reported still stands; everything else is over.
    m_bekannt = m_diesesLesen;
    Senden(QStringLiteral("LesenVollstaendig"), {});
    EigenschaftenMelden();
}

void TDienst::FirmwareAbgelehnt() {
    m_firmwareAbgelehnt = true;
    Senden(QStringLiteral("FirmwareAbgelehnt"), {});
    EigenschaftenMelden();
}

void TDienst::BildVergessen() {
    Senden(QStringLiteral("BildVergessen"), {});
    EigenschaftenMelden();
}

void TDienst::TransferBeendet() {
    Senden(QStringLiteral("TransferBeendet"), {});
    if (m_schreibt) {
        m_schreibt = false;
        // A fault is in the journal already; this says how the write ended.
        const QString wie = m_beenden                   ? QStringLiteral("abgebrochen")
                            : m_schreibFehler.isEmpty() ? QStringLiteral("vollständig")
                                                        : m_schreibFehler;
        Journal(wie == QStringLiteral("vollständig") ? kInfo : kWarnung,
                QStringLiteral("Schreiben beendet: %1").arg(wie));
    }
    if (m_liest) {
        m_liest = false;
        LesenEnde(m_vollstaendig           ? QStringLiteral("vollständig")
                  : m_leseFehler.isEmpty() ? QStringLiteral("abgebrochen")
                                           : m_leseFehler);
    }
    EigenschaftenMelden();
}

void TDienst::BudgetWarnung(const QString& text) {
    Senden(QStringLiteral("BudgetWarnung"), {text});
    Journal(kWarnung, text);
    if (m_env.budgetHinweis)
        m_env.budgetHinweis(text);
}

// --- the bus ---

QByteArray TDienst::BildBytes() const {
    const auto bytes = m_sitzung->Image().Bytes();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

void TDienst::Senden(const QString& name, const QVariantList& argumente) {
    if (!m_angemeldet)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(kObjektPfad, kInterface, name);
    signal.setArguments(argumente);
    QDBusConnection::sessionBus().send(signal);
}

QVariantMap TDienst::Zustand() const {
    const config::DecodedArrays& a = m_sitzung->Arrays();
    QList<uint> einheiten;
    QList<double> kosten;
    double kostenSumme = 0;
    for (int i = 0; i < session::kPorts; ++i) {
        const auto p = std::size_t(i);
        const int zaehler = (m_bloecke & kGebuehren) ? a.UnitCounter[p] : 0;
        einheiten << uint(std::max(0, zaehler));
        const double k = i < m_ports ? charges::PortCost(zaehler, m_sitzung->KostenProEinheit(),
                                                         m_sitzung->AlteEinheiten()[p],
                                                         m_sitzung->AlteKosten()[p])
                                     : 0.0;
        kosten << k;
        kostenSumme += k;
    }
    const device::TWriteBlocker sperre = m_sitzung->Transfer().WriteBlocker();
    return {
        {QStringLiteral("Version"), kVersion},
        {QStringLiteral("Schnittstelle"), m_sitzung->CommPort()},
        {QStringLiteral("Bild"), BildBytes()},
        {QStringLiteral("Bloecke"), m_bloecke},
        {QStringLiteral("Schreibsperre"), uint(sperre)},
        {QStringLiteral("FirmwareAbgelehnt"), m_firmwareAbgelehnt},
        {QStringLiteral("Anschluesse"), m_ports},
        {QStringLiteral("Einheiten"), QVariant::fromValue(einheiten)},
        {QStringLiteral("Kosten"), QVariant::fromValue(kosten)},
        {QStringLiteral("EinheitenSumme"), uint(std::max(0, m_texte.unitsSum))},
        {QStringLiteral("KostenSumme"), kostenSumme},
        {QStringLiteral("EinheitenTexte"),
         QStringList(m_texte.einheiten.begin(), m_texte.einheiten.end())},
        {QStringLiteral("KostenTexte"), QStringList(m_texte.kosten.begin(), m_texte.kosten.end())},
        {QStringLiteral("EinheitenSummeText"), m_texte.einheitenSumme},
        {QStringLiteral("KostenSummeText"), m_texte.kostenSumme},
        {QStringLiteral("DDEEinheiten"), m_texte.ddeEinheiten},
        {QStringLiteral("DDEKosten"), m_texte.ddeKosten},
        {QStringLiteral("Zuwaechse"), QStringList(m_zuwaechse.begin(), m_zuwaechse.end())},
        {QStringLiteral("ZuwachsSumme"), m_zuwachsSumme},
        {QStringLiteral("LetztesLesen"), Iso(m_letztesLesen)},
        {QStringLiteral("LetztesErgebnis"), m_letztesErgebnis},
        {QStringLiteral("TransferLaeuft"), m_sitzung->TransferAktiv()},
        {QStringLiteral("SteuerungFrei"), m_steuerungFrei},
        {QStringLiteral("Meldung"), QVariantList{m_meldungNummer, m_meldungStufe, m_meldungArgument,
                                                 m_meldungFehler, m_meldungText}},
        {QStringLiteral("MeldungsGrund"), m_meldungsGrund},
    };
}

void TDienst::EigenschaftenMelden() {
    if (!m_angemeldet)
        return;
    const QVariantMap jetzt = Zustand();
    QVariantMap geaendert;
    for (auto it = jetzt.cbegin(); it != jetzt.cend(); ++it)
        if (m_gemeldet.value(it.key()) != it.value())
            geaendert.insert(it.key(), AufDemBus(it.key(), it.value()));
    m_gemeldet = jetzt;
    if (geaendert.isEmpty())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(kObjektPfad, kProperties, QStringLiteral("PropertiesChanged"));
    signal << kInterface << geaendert << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

// The bus library adds the standard interfaces (properties among them).
QString TDienst::introspect(const QString&) const {
    return InterfaceXml();
}

bool TDienst::handleMessage(const QDBusMessage& m, const QDBusConnection& bus) {
    if (m.type() != QDBusMessage::MethodCallMessage)
        return false;
    QDBusMessage antwort;
    if (m.interface() == kProperties) {
        antwort = Eigenschaften(m);
    } else if (m.interface() == kInterface || m.interface().isEmpty()) {
        const QString name = m.member();
        if (name == QStringLiteral("Lesen"))
            antwort = Lesen(m);
        else if (name == QStringLiteral("Schreiben"))
            antwort = Schreiben(m);
        else if (name == QStringLiteral("JetztSchreiben"))
            antwort = JetztSchreiben(m);
        else if (name == QStringLiteral("EinstellungenNeuLaden"))
            antwort = EinstellungenNeuLaden(m);
        else if (name == QStringLiteral("Zustand") && m.signature().isEmpty()) {
            QVariantMap z = Zustand();
            for (auto it = z.begin(); it != z.end(); ++it)
                it.value() = AufDemBus(it.key(), it.value());
            antwort = m.createReply(QVariant(z));
        } else if (m.interface().isEmpty() && name != QStringLiteral("Zustand"))
            return false; // Introspect, Ping and the like: the bus library answers
        else
            antwort = Fehler(m, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                             QStringLiteral("Unbekannte Methode %1").arg(name));
    } else {
        return false;
    }
    bus.send(antwort);
    return true;
}

QDBusMessage TDienst::Eigenschaften(const QDBusMessage& m) {
    const QVariantList args = m.arguments();
    const QString iface = args.value(0).toString();
    if (m.member() == QStringLiteral("Set"))
        return Fehler(m, QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly"),
                      QStringLiteral("Die Eigenschaften sind nur zu lesen"));
    if (iface != kInterface && !iface.isEmpty())
        return Fehler(m, QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
                      QStringLiteral("Unbekannte Schnittstelle %1").arg(iface));
    const QVariantMap z = Zustand();
    if (m.member() == QStringLiteral("GetAll") && m.signature() == QStringLiteral("s")) {
        QVariantMap bus;
        for (auto it = z.cbegin(); it != z.cend(); ++it)
            bus.insert(it.key(), AufDemBus(it.key(), it.value()));
        return m.createReply(QVariant(bus));
    }
    if (m.member() == QStringLiteral("Get") && m.signature() == QStringLiteral("ss")) {
        const QString name = args.value(1).toString();
        if (!z.contains(name))
            return Fehler(m, QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"),
                          QStringLiteral("Unbekannte Eigenschaft %1").arg(name));
        return m.createReply(QVariant::fromValue(QDBusVariant(AufDemBus(name, z.value(name)))));
    }
    return Fehler(m, QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                  QStringLiteral("Unbekannter Aufruf %1(%2)").arg(m.member(), m.signature()));
}

// --- the methods ---

QDBusMessage TDienst::Lesen(const QDBusMessage& m) {
    if (!m.signature().isEmpty())
        return Fehler(m, fehler::Argumente, QStringLiteral("Lesen erwartet keine Argumente"));
    if (m_sitzung->TransferAktiv())
        return Fehler(m, fehler::UebertragungLaeuft, catalogue::Text(meldung::LesenLaeuft));
    if (!m_sitzung->StartRead()) {
        QString text = m_meldungText;
        if (!m_meldungsGrund.isEmpty())
            text += QStringLiteral(": ") + m_meldungsGrund;
        return Fehler(m, fehler::Schnittstelle, text);
    }
    return m.createReply();
}

QDBusMessage TDienst::Schreiben(const QDBusMessage& m) {
    if (m.signature() != QStringLiteral("aya(qq)"))
        return Fehler(m, fehler::Argumente,
                      QStringLiteral("Schreiben erwartet ein Bild (ay) und Zählerstände (a(qq))"));
    const QByteArray bild = m.arguments().value(0).toByteArray();
    std::vector<std::pair<int, std::uint16_t>> zaehler;
    {
        const QDBusArgument arg = m.arguments().value(1).value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            ushort port = 0, wert = 0;
            arg.beginStructure();
            arg >> port >> wert;
            arg.endStructure();
            zaehler.emplace_back(int(port), std::uint16_t(wert));
        }
        arg.endArray();
    }
    if (!bild.isEmpty() && bild.size() != kBildGroesse)
        return Fehler(m, fehler::BildGroesse,
                      catalogue::Fill(meldung::BildGroesse, QString::number(bild.size())));
    if (m_sitzung->TransferAktiv())
        return Fehler(m, fehler::UebertragungLaeuft, catalogue::Text(meldung::UebertragungLaeuft));

    // Everything is checked before anything changes: a refusal leaves the image as it was.
    config::ConfigImage kandidat = m_sitzung->Image();
    if (bild.isEmpty()) {
        switch (m_sitzung->Transfer().WriteBlocker()) {
        case device::TWriteBlocker::None:
            break;
        case device::TWriteBlocker::NotRead:
            return Fehler(m, fehler::NichtGelesen, catalogue::Text(meldung::NichtGelesen));
        case device::TWriteBlocker::PortCount:
            return Fehler(m, fehler::AnschlussZahl,
                          catalogue::Fill(meldung::AnschlussZahlUngueltig,
                                          QString::number(kandidat.PortCountByte())));
        }
    } else {
        std::copy(bild.begin(), bild.end(), kandidat.Bytes().begin());
        const int ports = kandidat.PortCountByte();
        if (ports < 1 || ports > session::kPorts)
            return Fehler(m, fehler::AnschlussZahl,
                          catalogue::Fill(meldung::AnschlussZahlUngueltig, QString::number(ports)));
        // Only what this program reads or saves goes back: never bytes of another kind.
        if (!device::IsSupportedFirmware(kandidat))
            return Fehler(m, fehler::Firmware, catalogue::Text(meldung::FalscheFirmware));
    }
    const int ports = kandidat.PortCountByte();
    std::array<bool, session::kPorts> gesetzt{};
    for (const auto& [port, wert] : zaehler) {
        if (port < 1 || port > ports)
            return Fehler(m, fehler::Anschluss,
                          catalogue::Fill(meldung::AnschlussGibtEsNicht, QString::number(port)));
        if (gesetzt[std::size_t(port - 1)])
            return Fehler(m, fehler::Anschluss,
                          catalogue::Fill(meldung::AnschlussDoppelt, QString::number(port)));
        gesetzt[std::size_t(port - 1)] = true;
    }

    if (!bild.isEmpty()) {
        m_sitzung->Image() = kandidat;
        m_sitzung->Transfer().ImageLoaded();
        m_sitzung->DecodeBasicBlock();
        m_sitzung->DecodeTerminalBlock();
    }
    // The counters of this call, and no others: edits of an earlier one are gone.
    config::DecodedArrays& a = m_sitzung->Arrays();
    std::fill(a.UnitCounterEdited.begin(), a.UnitCounterEdited.end(), false);
    for (const auto& [port, wert] : zaehler) {
        a.UnitCounter[std::size_t(port - 1)] = wert;
        a.UnitCounterEdited[std::size_t(port - 1)] = true;
    }
    if (!m_sitzung->Transfer().Reserve())
        return Fehler(m, fehler::UebertragungLaeuft, catalogue::Text(meldung::UebertragungLaeuft));
    // The write takes about 40 s: the caller has its answer before it begins.
    QTimer::singleShot(0, this, [this] {
        m_sitzung->Transfer().Release();
        if (m_beenden)
            return;
        const device::TWriteResult r = m_sitzung->Schreiben();
        config::DecodedArrays& b = m_sitzung->Arrays();
        std::fill(b.UnitCounterEdited.begin(), b.UnitCounterEdited.end(), false);
        Senden(QStringLiteral("SchreibenBeendet"), {Ergebnis(r)});
        EigenschaftenMelden();
    });
    EigenschaftenMelden();
    return m.createReply();
}

QDBusMessage TDienst::JetztSchreiben(const QDBusMessage& m) {
    if (m.signature() != QStringLiteral("i"))
        return Fehler(m, fehler::Argumente,
                      QStringLiteral("JetztSchreiben erwartet die Nummer eines Zeitpunkts (i)"));
    const int eintrag = m.arguments().value(0).toInt();
    if (eintrag < 1 || eintrag > schedule::kEntries)
        return Fehler(m, fehler::Eintrag,
                      catalogue::Fill(meldung::ZeitpunktGibtEsNicht, QString::number(eintrag)));
    if (m_sitzung->TransferAktiv())
        return Fehler(m, fehler::UebertragungLaeuft, catalogue::Text(meldung::UebertragungLaeuft));
    // The window saves an entry before it asks: the file has the entry as it is now.
    EinstellungenLaden(false);
    if (!m_sitzung->JetztSchreiben(eintrag - 1))
        return Fehler(m, fehler::KeineDatei, catalogue::Text(meldung::KeinZeitpunktDatei));
    return m.createReply();
}

QDBusMessage TDienst::EinstellungenNeuLaden(const QDBusMessage& m) {
    if (!m.signature().isEmpty())
        return Fehler(m, fehler::Argumente,
                      QStringLiteral("EinstellungenNeuLaden erwartet keine Argumente"));
    if (!EinstellungenLaden(false))
        return Fehler(m, fehler::Einstellungen, m_meldungText);
    return m.createReply();
}

} // namespace service
