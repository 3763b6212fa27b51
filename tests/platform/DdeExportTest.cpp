#include "platform/DdeExport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Collects the advised values as a client on its own connection sees them.
class Advises : public QObject {
    Q_OBJECT
public:
    QStringList seen;
public slots:
    void changed(const QString& interface, const QVariantMap& values, const QStringList&) {
        for (auto it = values.begin(); it != values.end(); ++it)
            seen << interface + " " + it.key() + "=" + it.value().toString();
    }
};

// Reads a property without blocking the event loop, which serves the server too.
QString Get(QDBusConnection& client, const char* property) {
    QDBusMessage get = QDBusMessage::createMethodCall("dde.WinVarno", "/WinVarno",
                                                      "org.freedesktop.DBus.Properties", "Get");
    get << "dde.Topic" << property;
    QDBusPendingCall call = client.asyncCall(get);
    if (!QTest::qWaitFor([&] { return call.isFinished(); }, 5000) || call.isError())
        return QStringLiteral("<error>");
    return call.reply().arguments().value(0).value<QDBusVariant>().variant().toString();
}

} // namespace

TEST(DdeExport, ClientsReadBothItemsAndReceiveEveryChange) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
    TDdeServer server(QStringLiteral("WinVarno"), QStringLiteral("WinVarno"));
    ASSERT_TRUE(server.exported());
    EXPECT_EQ(server.serviceName(), "dde.WinVarno");

    QDBusConnection client =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("client"));
    Advises advises;
    ASSERT_TRUE(client.connect("dde.WinVarno", "/WinVarno", "org.freedesktop.DBus.Properties",
                               "PropertiesChanged", &advises,
                               SLOT(changed(QString, QVariantMap, QStringList))));
    EXPECT_EQ(Get(client, "DDEEinheiten"), "") << "both items start empty";
    EXPECT_EQ(Get(client, "DDEKosten"), "");

    server.SetEinheiten("12;0;3;0;0;0;0;0");
    server.SetKosten("1,44;0,00;0,36;0,00");
    server.SetKosten("1,44;0,00;0,36;0,00");
    EXPECT_TRUE(QTest::qWaitFor([&] { return advises.seen.size() >= 3; }, 5000));
    EXPECT_EQ(advises.seen, QStringList({"dde.Topic DDEEinheiten=12;0;3;0;0;0;0;0",
                                         "dde.Topic DDEKosten=1,44;0,00;0,36;0,00",
                                         "dde.Topic DDEKosten=1,44;0,00;0,36;0,00"}));
    EXPECT_EQ(Get(client, "DDEEinheiten"), "12;0;3;0;0;0;0;0");
    EXPECT_EQ(Get(client, "DDEKosten"), "1,44;0,00;0,36;0,00");

    // A property call is refused for writing: the items are read-only.
    QDBusMessage set = QDBusMessage::createMethodCall("dde.WinVarno", "/WinVarno",
                                                      "org.freedesktop.DBus.Properties", "Set");
    set << "dde.Topic"
        << "DDEKosten" << QVariant::fromValue(QDBusVariant(QString("x")));
    QDBusPendingCall refused = client.asyncCall(set);
    ASSERT_TRUE(QTest::qWaitFor([&] { return refused.isFinished(); }, 5000));
    EXPECT_TRUE(refused.isError());
    EXPECT_EQ(server.DDEKosten(), "1,44;0,00;0,36;0,00");
}

TEST(DdeExport, WithoutASessionBusNothingFails) {
    // A second server for the same name cannot register; it still holds its values.
    TDdeServer first(QStringLiteral("WinVarno"), QStringLiteral("WinVarno"));
    TDdeServer second(QStringLiteral("WinVarno"), QStringLiteral("WinVarno"));
    EXPECT_FALSE(second.exported());
    second.SetEinheiten("1;2;3;4;5;6;7;8");
    EXPECT_EQ(second.DDEEinheiten(), "1;2;3;4;5;6;7;8");
}

#include "DdeExportTest.moc"
