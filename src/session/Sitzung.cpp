#include "session/Sitzung.h"

#include "catalogue/Catalogue.h"
#include "charges/ChargeLog.h"
#include "charges/ChargeReport.h"
#include "config/ConfigDiff.h"
#include "config/ParameterFile.h"
#include "platform/IniFile.h"
#include "platform/ProgramFiles.h"
#include "platform/UserFile.h"
#include "serial/Comm32.h"
#include "serial/PortName.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMap>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <exception>

namespace session {

namespace meldung = catalogue::meldung;
namespace stufe = catalogue::stufe;

void TBeobachter::Meldung(int, int, const QString&) {
}
void TBeobachter::MeldungsGrund(const QString&) {
}
void TBeobachter::DateiFehler(int, const QString&, int) {
}
void TBeobachter::GrundblockDecodiert(const config::BasicBlockView&) {
}
void TBeobachter::EndgeraeteblockDecodiert(const config::TerminalBlockView&) {
}
void TBeobachter::GebuehrenBerechnet(const charges::ChargeTexts&, int) {
}
void TBeobachter::ZuwaechseBerechnet(const std::array<QString, kPorts>&, const QString&, int) {
}
void TBeobachter::ZaehlerBehalten(int, std::uint16_t) {
}
void TBeobachter::SteuerungFreigeben(bool) {
}
void TBeobachter::LesenVollstaendig() {
}
void TBeobachter::FirmwareAbgelehnt() {
}
void TBeobachter::BildVergessen() {
}
void TBeobachter::TransferBeendet() {
}
void TBeobachter::BudgetWarnung(const QString&) {
}
void TBeobachter::EndeAngefordert() {
}
void TBeobachter::Uhrzeit(const QDateTime&) {
}
void TBeobachter::VerlaufErgaenzt(int) {
}

// The sequences' view of the session and the line's listener in one.
class TSitzung::TLeitung final : public device::TTransferView, public device::TLineListener {
public:
    explicit TLeitung(TSitzung& s) : m_s(s) {}

    void ShowMessage(int number, int severity, const QString& argument) override {
        m_s.Melde(number, severity, argument);
    }
    void SetControlsEnabled(bool enabled) override { m_s.m_beobachter.SteuerungFreigeben(enabled); }
    bool LineReady() override { return m_s.LeitungBereit(); }
    void BlockStored(config::Region region) override {
        switch (region) {
        case config::Region::Basic:
            m_s.DecodeBasicBlock();
            break;
        case config::Region::Terminal:
            m_s.DecodeTerminalBlock();
            break;
        case config::Region::Charge:
            m_s.EvaluateCharges();
            break;
        }
    }
    void ReadComplete() override {
        m_s.GelesenAufnehmen();
        m_s.m_beobachter.LesenVollstaendig();
    }
    void WriteChecked(const std::optional<config::ConfigImage>& readBack) override {
        m_s.GeschriebenAufnehmen(readBack);
    }
    void CounterEditKept(int port, std::uint16_t value) override {
        m_s.CounterEditKept(port, value);
    }
    void FirmwareRefused() override { m_s.m_beobachter.FirmwareAbgelehnt(); }
    void TransferEnded() override { m_s.TransferEnde(); }

    void LineData(QByteArrayView block) override { m_s.Receive(block); }
    // A line-error report is no answer: taken as one it would be decoded as a block.
    // It stays in the comms log, and the answer that follows is handled.
    void LineError(const QString&) override {}
    // The descriptor of a vanished device is let go at once; the next transfer opens
    // the port anew by its configured path.
    void LineLost() override { m_s.m_line.Close(); }

private:
    TSitzung& m_s;
};

TSitzung::TSitzung(TSitzungsUmgebung umgebung, device::TLine& line, TBeobachter& beobachter,
                   QObject* parent)
    : QObject(parent), m_env(std::move(umgebung)), m_line(line), m_beobachter(beobachter),
      m_leitung(std::make_unique<TLeitung>(*this)) {
    if (!m_env.now)
        m_env.now = [] { return QDateTime::currentDateTime(); };
    m_line.SetListener(m_leitung.get());
    m_transfer = std::make_unique<device::TTransferSequence>(m_line, m_image, *m_leitung);
    // An entry not meant for the day is as if it were not there, also when the
    // schedule chooses among entries at the same time.
    m_zeitsteuerung.SetDayRule(
        [this](int entry, QDate date) { return m_wochenplan.fires(entry, date); });
}

TSitzung::~TSitzung() {
    m_line.SetListener(nullptr);
}

QDateTime TSitzung::Jetzt() const {
    return m_env.now();
}

void TSitzung::Melde(int nummer, int stufe, const QString& argument) {
    m_beobachter.Meldung(nummer, stufe, argument);
}

// --- start-up ---

void TSitzung::Vorbereiten() {
    m_backupPending = true;
    m_beendenAngefordert = false;
    m_autoEndeZaehler = -1;
    m_chargeLogPath = platform::programfiles::DataFile(m_env.programPath, QStringLiteral(".dat"));
    m_chargeBackupPath =
        platform::programfiles::DataFile(m_env.programPath, QStringLiteral(".bak"));
    QDir().mkpath(QFileInfo(m_chargeLogPath).absolutePath());
}

void TSitzung::SetzeSchalter(const startup::Switches& schalter) {
    m_autoEnde = schalter.autoEnde;
    m_zyklisch = schalter.zyklisch;
}

bool TSitzung::OeffneSchnittstelle(const QString& portName) {
    m_commPort = portName;
    if (!startup::IstGueltigerPortName(m_commPort)) {
        Melde(meldung::UngueltigerPort, stufe::Fehler, m_commPort);
        return false;
    }
    return SchnittstelleOeffnen();
}

void TSitzung::EinstellungenAnwenden(const startup::Einstellungen& e) {
    m_alteEinheiten = e.alteEinheiten;
    m_alteKosten = e.alteKosten;
    m_kostenProEinheit = e.kostenProEinheit;
    // A running countdown takes a changed period at once.
    if (m_zyklusZaehler > 0 && m_zyklusSekunden != e.zyklusSekunden)
        m_zyklusZaehler = e.zyklusSekunden;
    m_zyklusSekunden = e.zyklusSekunden;
}

void TSitzung::ArmeZyklus() {
    m_zyklusZaehler = m_zyklisch ? m_zyklusSekunden : -1;
}

// --- the one-second timer ---

void TSitzung::Sekunde() {
    if (m_leitungAbgegeben) {
        // The line's owner reads, writes and keeps the schedule; here only what shows.
        if (m_autoEndeZaehler > 0 && --m_autoEndeZaehler == 0)
            m_beobachter.EndeAngefordert();
        m_beobachter.Uhrzeit(Jetzt());
        return;
    }
    if (m_zyklusZaehler > 0 && --m_zyklusZaehler == 0) {
        m_zyklusZaehler = m_zyklusSekunden;
        // Falling due during a transfer skips this turn; the next period comes anyway.
        if (m_zyklischNeuLesen)
            m_transfer->StartRead();
    }
    if (m_autoEndeZaehler > 0 && --m_autoEndeZaehler == 0)
        m_beobachter.EndeAngefordert();
    m_transfer->Tick();
    m_beobachter.Uhrzeit(Jetzt());
    // The schedule check comes last: it may return early.
    ZeitsteuerungPruefen();
}

// --- the exchange ---

bool TSitzung::StartRead() {
    // Start-up, the cyclic read and "Lesen" come here; none of them may cut into a
    // running transfer, which the sequence refuses.
    if (m_leitungAbgegeben)
        return false;
    return m_transfer->StartRead();
}

device::TCounterEdits TSitzung::ZaehlerAenderungen() const {
    device::TCounterEdits edits;
    for (int i = 0; i < m_arrays.UsedPorts(); ++i)
        if (m_arrays.UnitCounterEdited[i])
            edits[std::size_t(i)] = std::uint16_t(m_arrays.UnitCounter[i]);
    return edits;
}

device::TWriteResult TSitzung::Schreiben() {
    return SchreibenAls(config::Origin::Written, {});
}

device::TWriteResult TSitzung::SchreibenAls(config::Origin origin, const QString& detail) {
    if (m_leitungAbgegeben)
        return device::TWriteResult::NotStarted;
    m_schreibHerkunft = origin;
    m_schreibAngabe = detail;
    m_transfer->SetPortNames(PortNamen());
    // A write cut short (the program ended, or was killed) leaves a configuration
    // nobody knows: forgotten before the first byte, known again once read back.
    if (!TransferAktiv() && m_transfer->WriteBlocker() == device::TWriteBlocker::None)
        SetzeAnlagenKonfiguration(std::nullopt);
    return m_transfer->Write(m_arrays.UsedPorts(), ZaehlerAenderungen());
}

bool TSitzung::LeitungAbgeben() {
    if (TransferAktiv())
        return false;
    m_leitungAbgegeben = true;
    m_portNeuOeffnen = false;
    m_line.Close();
    return true;
}

void TSitzung::Receive(QByteArrayView answer) {
    m_transfer->Receive(answer);
}

void TSitzung::CounterEditKept(int port, std::uint16_t value) {
    const auto i = std::size_t(port - 1);
    m_arrays.UnitCounter[i] = value;
    m_arrays.UnitCounterEdited[i] = true;
    m_beobachter.ZaehlerBehalten(port, value);
}

void TSitzung::TransferEnde() {
    m_beobachter.TransferBeendet();
    if (TransferAktiv() || m_beendenAngefordert)
        return;
    // A scheduled load that fell due meanwhile comes next, before any other.
    const QString deferred = m_zeitsteuerung.TakeDeferred();
    if (!deferred.isEmpty())
        ZeitgesteuertStarten(deferred, m_zeitsteuerung.FiredEntry());
    if (m_portNeuOeffnen)
        QTimer::singleShot(0, this, [this] {
            if (m_portNeuOeffnen)
                PortNeuOeffnen();
        });
    if (NachTransfer)
        NachTransfer();
}

void TSitzung::PortNeuOeffnen() {
    if (m_leitungAbgegeben)
        return;
    if (TransferAktiv()) {
        m_portNeuOeffnen = true; // TransferEnde comes back here
        return;
    }
    m_portNeuOeffnen = false;
    m_line.Close();
    if (OeffneSchnittstelle(startup::LiesPortName(platform::IniFile(m_env.settingsPath))))
        StartRead();
}

bool TSitzung::LeitungBereit() {
    if (m_line.IsOpen())
        return true;
    return OeffneSchnittstelle(startup::LiesPortName(platform::IniFile(m_env.settingsPath)));
}

bool TSitzung::SchnittstelleOeffnen() {
    Melde(meldung::WirdGeoeffnet, stufe::Fortschritt, m_commPort);
    m_transfer->SetPortName(m_commPort);
    const platform::IniFile ini(m_env.settingsPath);
    if (m_env.vorDemOeffnen)
        m_env.vorDemOeffnen(ini);
    // What was read from one device is not written to another.
    const QString geraet = serial::ResolveCommPort(m_commPort, [&ini](const QString& key) {
        return ini.value(QStringLiteral("Schnittstellen"), key);
    });
    if (geraet != m_geraet) {
        if (!m_geraet.isEmpty()) {
            m_transfer->ForgetImage();
            m_beobachter.BildVergessen();
        }
        m_geraet = geraet;
        m_anlage.reset();
        m_anlageNachgesehen = false;
    }
    QString grund;
    try {
        m_line.Open(m_commPort);
        return true;
    } catch (const ECommsError& e) {
        grund = catalogue::OeffnungsGrund(e.Failure(), e.Device(), e.Errno());
    } catch (const std::exception& e) {
        grund = QString::fromLocal8Bit(e.what()).simplified();
    }
    Melde(meldung::NichtGeoeffnet, stufe::Fehler, m_commPort);
    m_beobachter.MeldungsGrund(grund);
    if (!m_env.grundAufStderr)
        return false;
    // One line, so that it lands whole in the journal of a program started from the menu.
    const QString text =
        catalogue::PanelText(meldung::NichtGeoeffnet, stufe::Fehler, m_commPort).mid(2);
    std::fprintf(stderr, "WinVarno: %s: %s\n", text.toLocal8Bit().constData(),
                 grund.toLocal8Bit().constData());
    return false;
}

void TSitzung::Beenden() {
    m_beendenAngefordert = true;
    m_transfer->Abort();
    m_line.Close();
}

// --- the image ---

void TSitzung::DecodeBasicBlock() {
    const config::BasicBlockView v = config::DecodeBasicBlock(m_image, m_arrays);
    m_beobachter.GrundblockDecodiert(v);
}

void TSitzung::DecodeTerminalBlock() {
    const config::TerminalBlockView v = config::DecodeTerminalBlock(m_image, m_arrays);
    m_beobachter.EndgeraeteblockDecodiert(v);
}

bool TSitzung::LadeParameterDatei(const QString& path) {
    if (!LadeDatei(path))
        return false;
    Aufnehmen(m_image, config::Origin::File, QFileInfo(path).fileName());
    return true;
}

bool TSitzung::LadeDatei(const QString& path) {
    int fehler = 0;
    if (!config::LoadParameterFile(path, m_image, &fehler)) {
        m_beobachter.DateiFehler(meldung::DateiNichtGeoeffnet, path, fehler);
        return false;
    }
    m_transfer->ImageLoaded();
    DecodeBasicBlock();
    DecodeTerminalBlock();
    return true;
}

bool TSitzung::SpeichereParameterDatei(const QString& path) {
    int fehler = 0;
    if (config::SaveParameterFile(path, m_image, &fehler)) {
        Aufnehmen(m_image, config::Origin::File, QFileInfo(path).fileName());
        return true;
    }
    m_beobachter.DateiFehler(meldung::DateiNichtGespeichert, path, fehler);
    return false;
}

bool TSitzung::WiederherstellenVersion(int id) {
    // The pages must not change under a running write.
    if (TransferAktiv()) {
        Melde(meldung::NichtWiederhergestellt, stufe::Fehler,
              QStringLiteral("eine Übertragung läuft"));
        return false;
    }
    QString grund;
    std::optional<config::ConfigImage> version = Konfigurationsverlauf().Load(id, &grund);
    if (!version) {
        Melde(meldung::NichtWiederhergestellt, stufe::Fehler, grund);
        return false;
    }
    // As a loaded file: the exchange gets its own counters back.
    const auto charges = m_image.Block(config::Region::Charge);
    std::copy(charges.begin(), charges.end(), version->Block(config::Region::Charge).begin());
    m_image = *version;
    m_transfer->ImageLoaded();
    DecodeBasicBlock();
    DecodeTerminalBlock();
    Aufnehmen(m_image, config::Origin::Restored);
    return true;
}

// --- the configuration history ---

namespace {

// Beside the history: per device, the fingerprint of the configuration its exchange
// held as last known, one line "fingerprint<TAB>device" each. A restart thus knows
// what the exchange had, also when it was switched between configurations the
// history has long kept.
const QString kAnlagenDatei = QStringLiteral("Anlage.txt");
constexpr qint64 kAnlagenGroesste = 1 << 20;

QString AnlagenPfad(const config::ConfigHistory& verlauf) {
    return verlauf.Directory() + u'/' + kAnlagenDatei;
}

QMap<QString, QByteArray> LiesAnlagen(const QString& pfad) {
    QMap<QString, QByteArray> anlagen;
    int fehler = 0;
    const std::optional<QByteArray> inhalt =
        platform::ReadRegular(pfad, kAnlagenGroesste, &fehler, nullptr);
    if (!inhalt)
        return anlagen;
    for (const QByteArray& zeile : inhalt->split('\n')) {
        const qsizetype tab = zeile.indexOf('\t');
        if (tab == 32) // anything else is no line of this file
            anlagen.insert(QString::fromUtf8(zeile.mid(tab + 1)), zeile.left(tab));
    }
    return anlagen;
}

} // namespace

config::ConfigHistory& TSitzung::Konfigurationsverlauf() {
    if (!m_konfigVerlauf) {
        m_konfigVerlauf.emplace(m_env.historyDirectory);
        m_konfigVerlauf->Open();
    }
    return *m_konfigVerlauf;
}

config::PortNames TSitzung::PortNamen() const {
    const auto namen = charges::ReadPortNames(platform::IniFile(m_env.settingsPath));
    config::PortNames result;
    std::copy_n(namen.begin(), std::min(namen.size(), result.size()), result.begin());
    return result;
}

void TSitzung::Aufnehmen(const config::ConfigImage& image, config::Origin origin,
                         const QString& detail) {
    const config::RecordResult r = Konfigurationsverlauf().Record(image, origin, detail);
    if (r.id != 0) {
        m_verlaufFehlerGemeldet = false;
        if (r.isNew)
            m_beobachter.VerlaufErgaenzt(r.id);
        return;
    }
    // Said once, not after every read: the transfer goes on regardless.
    if (!m_verlaufFehlerGemeldet)
        Melde(meldung::VerlaufFehler, stufe::Fehler, r.error);
    m_verlaufFehlerGemeldet = true;
}

std::optional<config::ConfigImage> TSitzung::AnlagenKonfiguration() {
    if (m_anlageNachgesehen)
        return m_anlage;
    m_anlageNachgesehen = true;
    config::ConfigHistory& verlauf = Konfigurationsverlauf();
    const QByteArray kennung = LiesAnlagen(AnlagenPfad(verlauf)).value(m_geraet);
    if (kennung.isEmpty())
        return m_anlage;
    for (const config::HistoryVersion& v : verlauf.Versions())
        if (v.key == kennung) {
            // A damaged version is as good as none: nothing is known then.
            if (std::optional<config::ConfigImage> image = verlauf.Load(v.id))
                m_anlage = config::ConfigurationOnly(*image);
            break;
        }
    return m_anlage;
}

void TSitzung::SetzeAnlagenKonfiguration(const std::optional<config::ConfigImage>& image) {
    std::optional<config::ConfigImage> neu;
    if (image)
        neu = config::ConfigurationOnly(*image);
    const bool gleich = AnlagenKonfiguration() == neu;
    m_anlage = neu;
    if (gleich)
        return; // every cyclic read would otherwise rewrite the file
    const QString pfad = AnlagenPfad(Konfigurationsverlauf());
    QMap<QString, QByteArray> anlagen = LiesAnlagen(pfad);
    if (neu)
        anlagen.insert(m_geraet, config::ConfigHistory::Key(*neu));
    else
        anlagen.remove(m_geraet);
    QByteArray inhalt;
    for (auto it = anlagen.cbegin(); it != anlagen.cend(); ++it)
        inhalt += it.value() + '\t' + it.key().toUtf8() + '\n';
    // Only a memory: when it cannot be kept, the next run knows less, nothing more.
    if (QDir().mkpath(QFileInfo(pfad).absolutePath()))
        platform::ReplaceFile(pfad, inhalt);
}

void TSitzung::GelesenAufnehmen() {
    // Nothing known before (the first read ever on this device) is no change.
    const std::optional<config::ConfigImage> vorher = AnlagenKonfiguration();
    if (!vorher || config::CompareConfigurations(*vorher, m_image).empty()) {
        Aufnehmen(m_image, config::Origin::Read);
    } else {
        // Programmed from a telephone or another PC since the program last knew.
        Melde(meldung::AnDerAnlageGeaendert, stufe::Fortschritt,
              config::ChangeSummary(config::CompareConfigurations(*vorher, m_image, PortNamen())));
        Aufnehmen(m_image, config::Origin::ChangedAtExchange);
    }
    SetzeAnlagenKonfiguration(m_image);
}

void TSitzung::GeschriebenAufnehmen(const std::optional<config::ConfigImage>& readBack) {
    if (readBack) {
        Aufnehmen(m_image, m_schreibHerkunft, m_schreibAngabe);
        // Kept too when the exchange holds something else (already kept: nothing).
        Aufnehmen(*readBack, config::Origin::Read);
    }
    // Without a read-back nobody knows what the exchange holds after the write.
    SetzeAnlagenKonfiguration(readBack);
}

// --- charges ---

namespace {

QChar DecimalPoint() {
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QChar(u'.') : point.front();
}

// "21 (Büro)", or "21" for a port without a name.
QString PortMitName(int index, const QString& name) {
    const QString port = QString::number(startup::kFirstPort + index);
    return name.isEmpty() ? port : QStringLiteral("%1 (%2)").arg(port, name);
}

} // namespace

void TSitzung::SetzeProtokollPfade(const QString& log, const QString& backup) {
    m_chargeLogPath = log;
    m_chargeBackupPath = backup;
    m_logVerlauf.reset();
}

void TSitzung::EvaluateCharges() {
    Melde(meldung::Keine, stufe::Normal);
    const int ports = m_arrays.UsedPorts();
    charges::ChargeInput in;
    for (int i = 0; i < kPorts; ++i) {
        m_arrays.UnitCounter[i] = m_image.UnitCounterValue(i + 1);
        in.counters[i] = m_arrays.UnitCounter[i];
    }
    in.ports = ports;
    in.price = m_kostenProEinheit;
    in.alteEinheiten = m_alteEinheiten;
    in.alteKosten = m_alteKosten;
    in.decimalPoint = DecimalPoint();
    const charges::ChargeTexts t = charges::Evaluate(in);
    for (int i = 0; i < ports; ++i)
        m_arrays.UnitCounterEdited[i] = false;
    m_beobachter.GebuehrenBerechnet(t, ports);

    charges::LogState state{m_backupPending, m_loggedUnits, m_loggedSum};
    // The backup of a large log is made in pieces, with the program kept alive between.
    const charges::LogResult logged =
        charges::LogCharges(m_chargeLogPath, m_chargeBackupPath, Jetzt(), in.counters, ports, state,
                            [] { QCoreApplication::processEvents(); });
    m_backupPending = state.backupPending;
    m_loggedUnits = state.loggedUnits;
    m_loggedSum = state.loggedSum;

    std::array<QString, kPorts> zuwaechse;
    for (int i = 0; i < ports; ++i)
        zuwaechse[std::size_t(i)] = charges::DiffText(in.counters[i], m_loggedUnits[i]);
    m_beobachter.ZuwaechseBerechnet(zuwaechse, charges::DiffText(t.unitsSum, m_loggedSum), ports);
    if (m_autoEnde)
        m_autoEndeZaehler = 3;
    BudgetsPruefen();
    // A history that silently stops is worse than a red line: said after every
    // evaluation that could not write its row, so the next read does not hide it.
    const bool failed =
        logged == charges::LogResult::Unreadable || logged == charges::LogResult::WriteFailed;
    const bool written =
        logged == charges::LogResult::Appended || logged == charges::LogResult::Created;
    bool toldCut = m_abgeschnittenGemeldet;
    if (failed) {
        m_beobachter.DateiFehler(meldung::ProtokollNichtGeschrieben, m_chargeLogPath, state.error);
    } else if (state.cutRow && !toldCut) {
        Melde(meldung::ProtokollAbgeschnitten, stufe::Fehler, m_chargeLogPath);
        toldCut = true;
    }
    // Once for each cut row: while it stays the log's end (no row written after it),
    // later visits say nothing new.
    m_abgeschnittenGemeldet = toldCut && state.cutRow && !written;
}

std::optional<charges::THistory> TSitzung::Verlauf() {
    if (!m_logVerlauf)
        m_logVerlauf.emplace(m_chargeLogPath);
    if (!m_logVerlauf->Update())
        return std::nullopt;
    return m_logVerlauf->Snapshot();
}

void TSitzung::BudgetsPruefen() {
    const platform::IniFile ini(m_env.settingsPath);
    const charges::Budgets budgets = charges::ReadBudgets(ini);
    if (!budgets.any())
        return; // nothing to watch: the log is not even read
    if (!m_logVerlauf)
        m_logVerlauf.emplace(m_chargeLogPath);
    m_logVerlauf->Update();
    const charges::THistory history = m_logVerlauf->Snapshot();
    const QDate heute = Jetzt().date();
    const charges::TTarife tarife = charges::ReadTarife(ini);
    std::array<double, kPorts> kosten = charges::MonthCosts(history, tarife, heute);
    // Units the log could not take (it may be unwritable) still count.
    if (history.lastCounters()) {
        charges::Counters jetzt{};
        std::copy(m_arrays.UnitCounter.begin(), m_arrays.UnitCounter.end(), jetzt.begin());
        const charges::Units extra = charges::Usage(*history.lastCounters(), jetzt);
        for (int i = 0; i < kPorts; ++i)
            kosten[size_t(i)] += double(extra[size_t(i)]) * tarife.PriceOn(heute);
    }

    if (!m_budgetWaechter)
        m_budgetWaechter.emplace(
            platform::programfiles::DataFile(m_env.programPath, QStringLiteral(".budget")));
    const std::vector<charges::Overrun> neu = m_budgetWaechter->Check(heute, kosten, budgets);
    if (neu.empty())
        return;

    const auto namen = charges::ReadPortNames(ini);
    const QChar punkt = charges::DecimalPoint();
    const QString monat = heute.toString(QStringLiteral("MM/yyyy"));
    QStringList welche;
    for (const charges::Overrun& o : neu) {
        const bool summe = o.index == charges::kBudgetSum;
        const QString wer =
            summe ? QStringLiteral("Summe") : PortMitName(o.index, namen[size_t(o.index)]);
        welche << (summe ? wer : QString::number(startup::kFirstPort + o.index));
        m_beobachter.BudgetWarnung(QStringLiteral("%1: Kosten %2 im Monat %3, Budget %4")
                                       .arg(summe ? QStringLiteral("Summe aller Anschlüsse")
                                                  : QStringLiteral("Anschluß ") + wer,
                                            charges::Money(o.costs, punkt), monat,
                                            charges::Money(o.budget, punkt)));
    }
    const charges::Overrun& o = neu.front();
    const QString betrag =
        QStringLiteral("%1 von %2")
            .arg(charges::Money(o.costs, punkt), charges::Money(o.budget, punkt));
    if (neu.size() > 1)
        Melde(meldung::BudgetMehrere, stufe::Fehler, welche.join(QStringLiteral(", ")));
    else if (o.index == charges::kBudgetSum)
        Melde(meldung::BudgetSumme, stufe::Fehler, betrag);
    else
        Melde(meldung::BudgetAnschluss, stufe::Fehler,
              PortMitName(o.index, namen[size_t(o.index)]) + QStringLiteral(": ") + betrag);
}

// --- schedule ---

void TSitzung::SetZeitpunkt(int n, const schedule::Entry& entry) {
    if (n >= 0 && n < schedule::kEntries)
        m_zeitpunkte[std::size_t(n)] = entry;
}

void TSitzung::WochenplanAnwenden(const platform::IniFile& ini) {
    QStringList uebergangen;
    m_wochenplan = schedule::ReadWochenplan(ini, &uebergangen);
    if (!uebergangen.isEmpty())
        Melde(meldung::ZeitsteuerungUebergangen, stufe::Fehler,
              uebergangen.join(QStringLiteral(", ")));
}

void TSitzung::SetTage(int n, const schedule::TWochentage& tage) {
    if (n >= 0 && n < schedule::kEntries)
        m_wochenplan.tage[std::size_t(n)] = tage;
}

bool TSitzung::JetztSchreiben(int n) {
    if (n < 0 || n >= schedule::kEntries)
        return false;
    const QString path = m_zeitpunkte[std::size_t(n)].datei.left(schedule::kPathLength);
    if (path.isEmpty()) {
        Melde(meldung::KeinZeitpunktDatei, stufe::Fehler);
        return false;
    }
    if (m_leitungAbgegeben)
        return false;
    // Deferring would write it at some later moment nobody chose: refused instead.
    if (TransferAktiv()) {
        Melde(meldung::UebertragungLaeuft, stufe::Fehler);
        return false;
    }
    ZeitgesteuertStarten(path, n);
    return true;
}

void TSitzung::ZeitsteuerungPruefen() {
    const QString path = m_zeitsteuerung.Tick(m_zeitpunkte, TransferAktiv());
    if (!path.isEmpty())
        ZeitgesteuertStarten(path, m_zeitsteuerung.FiredEntry());
}

void TSitzung::ZeitgesteuertStarten(const QString& path, int n) {
    if (!m_transfer->Reserve()) {
        m_zeitsteuerung.Defer(path, n);
        return;
    }
    // The write takes about 40 s: run inside the timer's handler, it would keep the
    // timer from ticking (no clock, no countdowns) until it ended.
    QTimer::singleShot(0, this, [this, path, n] {
        m_transfer->Release();
        if (!m_beendenAngefordert)
            ZeitgesteuertLaden(path, n);
    });
}

void TSitzung::ZeitgesteuertLaden(const QString& path, int n) {
    // Loading keeps the charge block: the exchange gets its own counters back. The
    // write's first status message shows the loaded views before it goes on.
    if (!LadeDatei(path))
        return;
    // 40 s of a blocked line, and the units counted meanwhile overwritten, for
    // nothing: the history has this configuration already, as the exchange's.
    if (const auto anlage = AnlagenKonfiguration();
        anlage && device::WriteDifferences(*anlage, m_image).empty()) {
        m_line.Log(QStringLiteral("Scheduled write of %1 left out: the exchange has it").arg(path));
        Melde(meldung::SchonKonfiguriert, stufe::Fortschritt, QFileInfo(path).fileName());
        return;
    }
    SchreibenAls(config::Origin::Schedule, QString::number(n + 1));
}

} // namespace session
