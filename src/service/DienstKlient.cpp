#include "service/DienstKlient.h"

#include "catalogue/Catalogue.h"
#include "config/ConfigViews.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <algorithm>

namespace service {

namespace meldung = catalogue::meldung;

namespace {

const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int kAntwortMs = 5000;

const QStringList& SignalNamen() {
    static const QStringList namen{QStringLiteral("Meldung"),
                                   QStringLiteral("MeldungsGrund"),
                                   QStringLiteral("DateiFehler"),
                                   QStringLiteral("GrundblockDecodiert"),
                                   QStringLiteral("EndgeraeteblockDecodiert"),
                                   QStringLiteral("GebuehrenBerechnet"),
                                   QStringLiteral("ZuwaechseBerechnet"),
                                   QStringLiteral("ZaehlerBehalten"),
                                   QStringLiteral("SteuerungFreigeben"),
                                   QStringLiteral("LesenVollstaendig"),
                                   QStringLiteral("FirmwareAbgelehnt"),
                                   QStringLiteral("BildVergessen"),
                                   QStringLiteral("TransferBeendet"),
                                   QStringLiteral("BudgetWarnung"),
                                   QStringLiteral("LesenBeendet"),
                                   QStringLiteral("SchreibenBeendet")};
    return namen;
}

template <typename Array> Array AlsArray(const QStringList& l) {
    Array a;
    for (std::size_t i = 0; i < a.size(); ++i)
        a[i] = l.value(qsizetype(i));
    return a;
}

// A property's value as QtDBus hands it over: structures stay a QDBusArgument.
QVariant Entpackt(const QVariant& v) {
    if (v.canConvert<QDBusVariant>())
        return v.value<QDBusVariant>().variant();
    return v;
}

// The status line (iisis) as a list, as the service keeps it.
QVariantList MeldungAusBus(const QVariant& v) {
    if (v.userType() != qMetaTypeId<QDBusArgument>())
        return v.toList();
    const QDBusArgument arg = v.value<QDBusArgument>();
    int nummer = 0, stufe = 0, fehler = -1;
    QString argument, text;
    arg.beginStructure();
    arg >> nummer >> stufe >> argument >> fehler >> text;
    arg.endStructure();
    return {nummer, stufe, argument, fehler, text};
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& arg, const TZaehlerStand& z) {
    arg.beginStructure();
    arg << z.anschluss << z.wert;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, TZaehlerStand& z) {
    arg.beginStructure();
    arg >> z.anschluss >> z.wert;
    arg.endStructure();
    return arg;
}

TDienstKlient::TDienstKlient(session::TBeobachter& beobachter, config::ConfigImage& bild,
                             config::DecodedArrays& arrays, const QDBusConnection& bus,
                             QObject* parent)
    : QObject(parent), m_beobachter(beobachter), m_bild(bild), m_arrays(arrays), m_bus(bus) {
    qDBusRegisterMetaType<TZaehlerStand>();
    qDBusRegisterMetaType<QList<TZaehlerStand>>();
    m_watcher =
        new QDBusServiceWatcher(kBusName, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& neu) {
                if (neu.isEmpty()) {
                    m_zustand.clear();
                    if (DienstGegangen)
                        DienstGegangen();
                } else if (DienstGekommen) {
                    DienstGekommen();
                }
            });
}

TDienstKlient::~TDienstKlient() {
    Trennen();
}

bool TDienstKlient::DienstLaeuft() const {
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    const QDBusReply<bool> r = m_bus.interface()->isServiceRegistered(kBusName);
    return r.isValid() && r.value();
}

bool TDienstKlient::Verbinden(QString* grund) {
    const auto nicht = [grund](const QString& warum) {
        if (grund)
            *grund = catalogue::Fill(meldung::DienstNichtErreichbar, warum);
        return false;
    };
    if (!m_bus.isConnected())
        return nicht(QStringLiteral("kein Sitzungsbus"));
    if (!m_verbunden) {
        for (const QString& name : SignalNamen())
            m_bus.connect(kBusName, kObjektPfad, kInterface, name, this,
                          SLOT(Signal(QDBusMessage)));
        m_bus.connect(kBusName, kObjektPfad, kProperties, QStringLiteral("PropertiesChanged"), this,
                      SLOT(EigenschaftenGeaendert(QDBusMessage)));
        m_verbunden = true;
    }
    // Subscribed first: a report made meanwhile comes after the state, never lost.
    const QDBusMessage antwort =
        m_bus.call(QDBusMessage::createMethodCall(kBusName, kObjektPfad, kInterface,
                                                  QStringLiteral("Zustand")),
                   QDBus::Block, kAntwortMs);
    if (antwort.type() != QDBusMessage::ReplyMessage || antwort.arguments().isEmpty()) {
        Trennen();
        return nicht(antwort.errorMessage());
    }
    const QDBusArgument arg = antwort.arguments().constFirst().value<QDBusArgument>();
    QVariantMap zustand;
    arg >> zustand;
    m_zustand.clear();
    for (auto it = zustand.cbegin(); it != zustand.cend(); ++it)
        Zuordnen(it.key(), Entpackt(it.value()));
    if (m_zustand.value(QStringLiteral("Version")).toUInt() != kVersion) {
        Trennen();
        return nicht(QStringLiteral("Schnittstelle in Version %1 statt %2")
                         .arg(m_zustand.value(QStringLiteral("Version")).toUInt())
                         .arg(kVersion));
    }

    BildUebernehmen(m_zustand.value(QStringLiteral("Bild")).toByteArray());
    const uint bloecke = m_zustand.value(QStringLiteral("Bloecke")).toUInt();
    if (bloecke & kGrundblock)
        m_beobachter.GrundblockDecodiert(config::DecodeBasicBlock(m_bild, m_arrays));
    if (bloecke & kEndgeraeteblock)
        m_beobachter.EndgeraeteblockDecodiert(config::DecodeTerminalBlock(m_bild, m_arrays));
    if (m_zustand.value(QStringLiteral("FirmwareAbgelehnt")).toBool())
        m_beobachter.FirmwareAbgelehnt();
    if (bloecke & kGebuehren) {
        const int ports = m_zustand.value(QStringLiteral("Anschluesse")).toInt();
        for (int i = 0; i < exchange::kPorts; ++i) {
            m_arrays.UnitCounter[std::size_t(i)] = m_bild.UnitCounterValue(i + 1);
            m_arrays.UnitCounterEdited[std::size_t(i)] = false;
        }
        charges::ChargeTexts t;
        t.einheiten = AlsArray<decltype(t.einheiten)>(
            m_zustand.value(QStringLiteral("EinheitenTexte")).toStringList());
        t.kosten = AlsArray<decltype(t.kosten)>(
            m_zustand.value(QStringLiteral("KostenTexte")).toStringList());
        t.einheitenSumme = m_zustand.value(QStringLiteral("EinheitenSummeText")).toString();
        t.kostenSumme = m_zustand.value(QStringLiteral("KostenSummeText")).toString();
        t.ddeEinheiten = m_zustand.value(QStringLiteral("DDEEinheiten")).toString();
        t.ddeKosten = m_zustand.value(QStringLiteral("DDEKosten")).toString();
        t.unitsSum = int(m_zustand.value(QStringLiteral("EinheitenSumme")).toUInt());
        m_beobachter.GebuehrenBerechnet(t, ports);
        m_beobachter.ZuwaechseBerechnet(
            AlsArray<std::array<QString, session::kPorts>>(
                m_zustand.value(QStringLiteral("Zuwaechse")).toStringList()),
            m_zustand.value(QStringLiteral("ZuwachsSumme")).toString(), ports);
    }
    m_beobachter.SteuerungFreigeben(SteuerungFrei());
    const QVariantList status = m_zustand.value(QStringLiteral("Meldung")).toList();
    if (status.value(3).toInt() >= 0)
        m_beobachter.DateiFehler(status.value(0).toInt(), status.value(2).toString(),
                                 status.value(3).toInt());
    else
        m_beobachter.Meldung(status.value(0).toInt(), status.value(1).toInt(),
                             status.value(2).toString());
    const QString statusGrund = m_zustand.value(QStringLiteral("MeldungsGrund")).toString();
    if (!statusGrund.isEmpty())
        m_beobachter.MeldungsGrund(statusGrund);
    return true;
}

void TDienstKlient::Trennen() {
    if (!m_verbunden)
        return;
    for (const QString& name : SignalNamen())
        m_bus.disconnect(kBusName, kObjektPfad, kInterface, name, this, SLOT(Signal(QDBusMessage)));
    m_bus.disconnect(kBusName, kObjektPfad, kProperties, QStringLiteral("PropertiesChanged"), this,
                     SLOT(EigenschaftenGeaendert(QDBusMessage)));
    m_verbunden = false;
}

void TDienstKlient::Zuordnen(const QString& name, const QVariant& wert) {
    m_zustand.insert(name,
                     name == QStringLiteral("Meldung") ? QVariant(MeldungAusBus(wert)) : wert);
}

void TDienstKlient::BildUebernehmen(const QByteArray& bytes) {
    if (bytes.size() != kBildGroesse)
        return;
    std::copy(bytes.begin(), bytes.end(), m_bild.Bytes().begin());
}

void TDienstKlient::EigenschaftenGeaendert(const QDBusMessage& m) {
    if (m.arguments().value(0).toString() != kInterface)
        return;
    const QDBusArgument arg = m.arguments().value(1).value<QDBusArgument>();
    QVariantMap geaendert;
    arg >> geaendert;
    for (auto it = geaendert.cbegin(); it != geaendert.cend(); ++it)
        Zuordnen(it.key(), Entpackt(it.value()));
}

void TDienstKlient::Signal(const QDBusMessage& m) {
    const QVariantList a = m.arguments();
    const QString name = m.member();
    if (name == QStringLiteral("Meldung")) {
        m_beobachter.Meldung(a.value(0).toInt(), a.value(1).toInt(), a.value(2).toString());
    } else if (name == QStringLiteral("MeldungsGrund")) {
        m_beobachter.MeldungsGrund(a.value(0).toString());
    } else if (name == QStringLiteral("DateiFehler")) {
        m_beobachter.DateiFehler(a.value(0).toInt(), a.value(1).toString(), a.value(2).toInt());
    } else if (name == QStringLiteral("GrundblockDecodiert")) {
        BildUebernehmen(a.value(0).toByteArray());
        m_beobachter.GrundblockDecodiert(config::DecodeBasicBlock(m_bild, m_arrays));
    } else if (name == QStringLiteral("EndgeraeteblockDecodiert")) {
        BildUebernehmen(a.value(0).toByteArray());
        m_beobachter.EndgeraeteblockDecodiert(config::DecodeTerminalBlock(m_bild, m_arrays));
    } else if (name == QStringLiteral("GebuehrenBerechnet")) {
        BildUebernehmen(a.value(0).toByteArray());
        const int ports = a.value(8).toInt();
        // As the evaluation leaves them: the counters read, no edit left.
        for (int i = 0; i < exchange::kPorts; ++i) {
            m_arrays.UnitCounter[std::size_t(i)] = m_bild.UnitCounterValue(i + 1);
            if (i < ports)
                m_arrays.UnitCounterEdited[std::size_t(i)] = false;
        }
        charges::ChargeTexts t;
        t.einheiten = AlsArray<decltype(t.einheiten)>(a.value(1).toStringList());
        t.kosten = AlsArray<decltype(t.kosten)>(a.value(2).toStringList());
        t.einheitenSumme = a.value(3).toString();
        t.kostenSumme = a.value(4).toString();
        t.ddeEinheiten = a.value(5).toString();
        t.ddeKosten = a.value(6).toString();
        t.unitsSum = a.value(7).toInt();
        m_beobachter.GebuehrenBerechnet(t, ports);
    } else if (name == QStringLiteral("ZuwaechseBerechnet")) {
        m_beobachter.ZuwaechseBerechnet(
            AlsArray<std::array<QString, session::kPorts>>(a.value(0).toStringList()),
            a.value(1).toString(), a.value(2).toInt());
    } else if (name == QStringLiteral("ZaehlerBehalten")) {
        const int port = int(a.value(0).toUInt());
        const auto wert = std::uint16_t(a.value(1).toUInt());
        if (port >= 1 && port <= exchange::kPorts) {
            m_arrays.UnitCounter[std::size_t(port - 1)] = wert;
            m_arrays.UnitCounterEdited[std::size_t(port - 1)] = true;
            m_beobachter.ZaehlerBehalten(port, wert);
        }
    } else if (name == QStringLiteral("SteuerungFreigeben")) {
        m_zustand.insert(QStringLiteral("SteuerungFrei"), a.value(0).toBool());
        m_beobachter.SteuerungFreigeben(a.value(0).toBool());
    } else if (name == QStringLiteral("LesenVollstaendig")) {
        m_beobachter.LesenVollstaendig();
    } else if (name == QStringLiteral("FirmwareAbgelehnt")) {
        m_beobachter.FirmwareAbgelehnt();
    } else if (name == QStringLiteral("BildVergessen")) {
        m_beobachter.BildVergessen();
    } else if (name == QStringLiteral("TransferBeendet")) {
        m_beobachter.TransferBeendet();
    } else if (name == QStringLiteral("BudgetWarnung")) {
        m_beobachter.BudgetWarnung(a.value(0).toString());
    } else if (name == QStringLiteral("LesenBeendet")) {
        if (LesenBeendet)
            LesenBeendet(QDateTime::fromString(a.value(0).toString(), Qt::ISODate),
                         a.value(1).toString());
    } else if (name == QStringLiteral("SchreibenBeendet")) {
        if (SchreibenBeendet)
            SchreibenBeendet(a.value(0).toString());
    }
}

QString TDienstKlient::Aufruf(const QString& methode, const QVariantList& argumente) {
    QDBusMessage call = QDBusMessage::createMethodCall(kBusName, kObjektPfad, kInterface, methode);
    call.setArguments(argumente);
    const QDBusMessage antwort = m_bus.call(call, QDBus::Block, kAntwortMs);
    if (antwort.type() == QDBusMessage::ReplyMessage)
        return {};
    // The service's own refusals are worded for the user; the bus's are not.
    if (antwort.errorName().startsWith(QStringLiteral("de.winvarno.WinVarno.Fehler.")))
        return antwort.errorMessage();
    return catalogue::Fill(meldung::DienstNichtErreichbar, antwort.errorMessage());
}

QString TDienstKlient::Lesen() {
    return Aufruf(QStringLiteral("Lesen"), {});
}

QString TDienstKlient::Schreiben(const config::ConfigImage& bild,
                                 const device::TCounterEdits& zaehler) {
    const auto bytes = bild.Bytes();
    QList<TZaehlerStand> staende;
    for (std::size_t i = 0; i < zaehler.size(); ++i)
        if (zaehler[i])
            staende.append({ushort(i + 1), ushort(*zaehler[i])});
    return Aufruf(QStringLiteral("Schreiben"),
                  {QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())),
                   QVariant::fromValue(staende)});
}

QString TDienstKlient::JetztSchreiben(int n) {
    return Aufruf(QStringLiteral("JetztSchreiben"), {n + 1});
}

QString TDienstKlient::EinstellungenNeuLaden() {
    return Aufruf(QStringLiteral("EinstellungenNeuLaden"), {});
}

bool TDienstKlient::TransferLaeuft() const {
    return m_zustand.value(QStringLiteral("TransferLaeuft")).toBool();
}

bool TDienstKlient::SteuerungFrei() const {
    return m_zustand.value(QStringLiteral("SteuerungFrei"), true).toBool();
}

device::TWriteBlocker TDienstKlient::Schreibsperre() const {
    switch (m_zustand.value(QStringLiteral("Schreibsperre")).toUInt()) {
    case 0:
        return device::TWriteBlocker::None;
    case 2:
        return device::TWriteBlocker::PortCount;
    default:
        return device::TWriteBlocker::NotRead;
    }
}

QDateTime TDienstKlient::LetztesLesen() const {
    return QDateTime::fromString(m_zustand.value(QStringLiteral("LetztesLesen")).toString(),
                                 Qt::ISODate);
}

QString TDienstKlient::LetztesErgebnis() const {
    return m_zustand.value(QStringLiteral("LetztesErgebnis")).toString();
}

} // namespace service
