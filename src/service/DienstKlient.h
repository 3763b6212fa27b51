#pragma once

#include "config/ConfigImage.h"
#include "device/TransferSequence.h"
#include "service/Schnittstelle.h"
#include "session/Sitzung.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDateTime>
#include <QObject>
#include <QVariantMap>
#include <functional>

class QDBusMessage;
class QDBusServiceWatcher;

namespace service {

// One counter the user set, as Schreiben takes it: port 1..8 and its value.
struct TZaehlerStand {
    ushort anschluss = 0;
    ushort wert = 0;
};
QDBusArgument& operator<<(QDBusArgument& arg, const TZaehlerStand& z);
const QDBusArgument& operator>>(const QDBusArgument& arg, TZaehlerStand& z);

// The session as winvarnod serves it, seen from another process (the window):
// the service's reports come back as calls on a session::TBeobachter, its image
// into the image and arrays given, and its methods are called with a German reason
// for every refusal.
//
// Threading: the thread that made it, which must run an event loop: the service's
// signals arrive there as events, and each becomes its observer calls in the
// order the service made them. A request waits for the service's answer (at most
// five seconds) without processing events, so no report runs inside it; the
// service answers at once and does the work afterwards (a write's 40 s included),
// whose reports then arrive as signals.
class TDienstKlient : public QObject {
    Q_OBJECT
public:
    // `bild` and `arrays` receive the service's image and its decoding before each
    // report that concerns them (the window passes its session's).
    TDienstKlient(session::TBeobachter& beobachter, config::ConfigImage& bild,
                  config::DecodedArrays& arrays,
                  const QDBusConnection& bus = QDBusConnection::sessionBus(),
                  QObject* parent = nullptr);
    ~TDienstKlient() override;

    // Whether the service owns its name on the bus now.
    bool DienstLaeuft() const;
    // Follows the service's reports from now on, and first hands its present state
    // to the observer, as the reports would have: the blocks decoded, the charges
    // and increases, the controls locked or free, the status line with its reason.
    // False, with the reason, when the service is not there or speaks another version.
    bool Verbinden(QString* grund = nullptr);
    void Trennen();
    bool Verbunden() const { return m_verbunden; }

    // The requests: the empty text when the service took it, else why not (German).
    QString Lesen();
    // `bild` as the window holds it, with the counters the user set.
    QString Schreiben(const config::ConfigImage& bild, const device::TCounterEdits& zaehler);
    // Entry n (0..3, as TSitzung::JetztSchreiben): its file loaded and written now.
    // The service reads the schedule from the settings file first.
    QString JetztSchreiben(int n);
    QString EinstellungenNeuLaden();

    // The service's state as last heard of (Verbinden, then every change).
    bool TransferLaeuft() const;
    bool SteuerungFrei() const;
    device::TWriteBlocker Schreibsperre() const;
    QDateTime LetztesLesen() const;
    QString LetztesErgebnis() const;
    QVariant Eigenschaft(const QString& name) const { return m_zustand.value(name); }

    // What is no TBeobachter report: a read or a write of the service ended.
    std::function<void(const QDateTime& zeit, const QString& ergebnis)> LesenBeendet;
    std::function<void(const QString& ergebnis)> SchreibenBeendet;
    // The service's name lost its owner (it ended), or found one (it started again:
    // Verbinden hands over its state).
    std::function<void()> DienstGegangen, DienstGekommen;

private slots:
    void Signal(const QDBusMessage& m);
    void EigenschaftenGeaendert(const QDBusMessage& m);

private:
    QString Aufruf(const QString& methode, const QVariantList& argumente);
    void BildUebernehmen(const QByteArray& bytes);
    void Zuordnen(const QString& name, const QVariant& wert);

    session::TBeobachter& m_beobachter;
    config::ConfigImage& m_bild;
    config::DecodedArrays& m_arrays;
    QDBusConnection m_bus;
    QDBusServiceWatcher* m_watcher = nullptr;
    bool m_verbunden = false;
    QVariantMap m_zustand;
};

} // namespace service

Q_DECLARE_METATYPE(service::TZaehlerStand)
