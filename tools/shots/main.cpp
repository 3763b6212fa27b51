// Renders the main window with each page in front to PNG files, for the README
// and for looking at the layout without a display.
#include "app/EinstellungenDialog.h"
#include "app/GebuehrenVerlauf.h"
#include "app/HauptFormular.h"
#include "app/KonfigurationsVerlauf.h"
#include "app/Look.h"
#include "charges/ChargeLog.h"
#include "config/ConfigHistory.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>

namespace {

// Fourteen months of evening reads up to yesterday, for the history window.
void WriteSampleHistory(const QString& path) {
    QFile f(path);
    if (f.exists() || !f.open(QIODevice::WriteOnly))
        return;
    f.write(charges::LogHeader());
    static constexpr int kPerDay[8] = {9, 3, 6, 14, 1, 2, 5, 4};
    std::array<int, 8> c{};
    quint32 seed = 7;
    const QDate today = QDate::currentDate();
    for (QDate d = today.addMonths(-14); d < today; d = d.addDays(1)) {
        int sum = 0;
        for (int i = 0; i < 8; ++i) {
            seed = seed * 1103515245u + 12345u;
            const bool weekend = d.dayOfWeek() > 5;
            c[size_t(i)] += weekend ? 0 : int((seed >> 16) % unsigned(2 * kPerDay[i] + 1));
            sum += c[size_t(i)];
        }
        f.write(charges::LogRow(QDateTime(d, QTime(18, 0)), c, sum));
    }
}

// A few configurations of the last days around `now`, the exchange's own last.
void WriteSampleConfigurations(const QString& dir, const config::ConfigImage& now) {
    QDateTime when = QDateTime::currentDateTimeUtc().addDays(-9);
    config::ConfigHistory history(dir, [&when] { return when; });
    history.Open();
    config::ConfigImage image = now;
    image.SetMsnText(2, u"4711");
    image.Port(3).SetPermission(4);
    image.Port(1).SetPulse(!image.Port(1).Pulse());
    history.Record(image, config::Origin::Read);
    when = when.addSecs(300);
    image.SetMsnText(2, u"4712");
    history.Record(image, config::Origin::File, QStringLiteral("Urlaub.vrn"));
    when = when.addDays(3);
    image.Port(2).SetForwardingPort(23);
    image.SetAssignmentMask(1, std::uint8_t(image.AssignmentMask(1) | 0x04));
    history.Record(image, config::Origin::Schedule, QStringLiteral("2"));
    when = when.addDays(5);
    history.Record(now, config::Origin::Written);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app::ApplyLook(app);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: winvarno-shots OUTDIR [SETTINGS.INI [PARAMETERS.vrn]]\n");
        return 2;
    }
    const QString out = args[1];
    QDir().mkpath(out);
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());

    TUmgebung env;
    // Its own exchange, never a service winvarnod on the user's session bus.
    env.dienstBus = [] { return QDBusConnection(QStringLiteral("winvarno-ohne-dienst")); };
    env.settingsPath = args.size() > 2 ? args[2] : runtime.filePath(QStringLiteral("none.INI"));
    // The charge log goes to the scratch directory, not into the build tree.
    env.programPath = runtime.filePath(QStringLiteral("WinVarno"));
    env.konfigurationsVerlauf = runtime.filePath(QStringLiteral("Verlauf"));
    WriteSampleHistory(runtime.filePath(QStringLiteral("WinVarno.dat")));
    THauptFenster w(env);
    w.show();
    // With a port in the settings (such as the simulator's), the pages show a full read.
    QDeadlineTimer deadline(15000);
    while (w.TransferAktiv() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (args.size() > 3 && !w.LadeParameterDatei(args[3]))
        return 1;
    auto grab = [&](const QString& name) {
        QCoreApplication::processEvents();
        w.grab().save(out + u'/' + name + QStringLiteral(".png"));
    };
    auto* seiten = w.findChild<QTabWidget*>(QStringLiteral("MainPageControl"));
    auto* parametrierung = w.findChild<QTabWidget*>(QStringLiteral("ParametrierungPageControl"));
    for (int i = 0; i < seiten->count(); ++i) {
        seiten->setCurrentIndex(i);
        grab(seiten->widget(i)->objectName());
    }
    seiten->setCurrentWidget(w.findChild<QWidget*>(QStringLiteral("TabParametrierung")));
    for (int i = 0; i < parametrierung->count(); ++i) {
        parametrierung->setCurrentIndex(i);
        grab(parametrierung->widget(i)->objectName());
    }
    w.EinstellungenClick();
    if (TEinstellungenDialog* dialog = w.EinstellungenDialog()) {
        QCoreApplication::processEvents();
        dialog->grab().save(out + QStringLiteral("/Einstellungen.png"));
        dialog->close();
    }
    seiten->setCurrentWidget(w.findChild<QWidget*>(QStringLiteral("TabGebuehren")));
    w.findChild<QPushButton*>(QStringLiteral("VerlaufButton"))->click();
    if (auto* verlauf = w.findChild<TGebuehrenVerlauf*>()) {
        QCoreApplication::processEvents();
        verlauf->grab().save(out + QStringLiteral("/GebuehrenVerlauf.png"));
    }
    WriteSampleConfigurations(env.konfigurationsVerlauf, w.Sitzung().Image());
    seiten->setCurrentWidget(w.findChild<QWidget*>(QStringLiteral("TabParametrierung")));
    w.findChild<QPushButton*>(QStringLiteral("KonfigurationsVerlaufButton"))->click();
    if (auto* verlauf = w.findChild<TKonfigurationsVerlauf*>()) {
        verlauf->Versionen->selectRow(2);
        QCoreApplication::processEvents();
        verlauf->grab().save(out + QStringLiteral("/KonfigurationsVerlauf.png"));
    }
    w.BeendenButtonClick();
    return 0;
}
