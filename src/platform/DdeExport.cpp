#include "platform/DdeExport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

TDdeServer::TDdeServer(const QString& service, const QString& topic, QObject* parent,
                       bool anstellen)
    : QObject(parent), m_service(QStringLiteral("dde.") + service),
      m_path(QStringLiteral("/") + topic) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    if (!bus.registerObject(m_path, this, QDBusConnection::ExportAllProperties))
        return;
    bool angemeldet = false;
    if (anstellen && bus.interface()) {
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> r =
            bus.interface()->registerService(m_service, QDBusConnectionInterface::QueueService,
                                             QDBusConnectionInterface::DontAllowReplacement);
        angemeldet = r.isValid() && r.value() != QDBusConnectionInterface::ServiceNotRegistered;
    } else {
        angemeldet = bus.registerService(m_service);
    }
    if (!angemeldet) {
        bus.unregisterObject(m_path);
        return;
    }
    m_exported = true;
}

TDdeServer::~TDdeServer() {
    if (!m_exported)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(m_service);
    bus.unregisterObject(m_path);
}

// Each evaluation is advised, even when its value equals the last one, so a
// client sees every read of the exchange.
void TDdeServer::SetEinheiten(const QString& text) {
    m_einheiten = text;
    Advise(QStringLiteral("DDEEinheiten"), text);
}

void TDdeServer::SetKosten(const QString& text) {
    m_kosten = text;
    Advise(QStringLiteral("DDEKosten"), text);
}

void TDdeServer::Advise(const QString& property, const QString& value) {
    if (!m_exported)
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(m_path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("dde.Topic") << QVariantMap{{property, value}} << QStringList();
    QDBusConnection::sessionBus().send(signal);
}
