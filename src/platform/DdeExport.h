#pragma once

#include <QObject>
#include <QString>

// The two exported items on the D-Bus session bus: service "dde." + the service
// name, object "/" + the topic, interface "dde.Topic" with the read-only string
// properties DDEEinheiten and DDEKosten. Every change is advised with
// org.freedesktop.DBus.Properties.PropertiesChanged. Without a session bus the
// items still hold their values; nothing is exported and nothing fails.
class TDdeServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "dde.Topic")
    Q_PROPERTY(QString DDEEinheiten READ DDEEinheiten)
    Q_PROPERTY(QString DDEKosten READ DDEKosten)
public:
    // `anstellen`: while another process holds the name, wait in the bus's queue and
    // take it over once that one lets it go (the service behind a window that had
    // the line); exported() then says the request stands.
    TDdeServer(const QString& service, const QString& topic, QObject* parent = nullptr,
               bool anstellen = false);
    ~TDdeServer() override;

    bool exported() const { return m_exported; }
    QString serviceName() const { return m_service; }
    QString objectPath() const { return m_path; }

    QString DDEEinheiten() const { return m_einheiten; }
    QString DDEKosten() const { return m_kosten; }
    void SetEinheiten(const QString& text);
    void SetKosten(const QString& text);

private:
    void Advise(const QString& property, const QString& value);

    QString m_service, m_path;
    QString m_einheiten, m_kosten;
    bool m_exported = false;
};
