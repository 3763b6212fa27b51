#include "app/Glyphs.h"
#include "app/HauptFormular.h"
#include "app/Look.h"
#include "platform/DisplayServer.h"
#include "platform/EndSignals.h"
#include "platform/IniFile.h"
#include "platform/QtTexte.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTranslator>
#include <csignal>

int main(int argc, char** argv) {
    const QByteArray qpa = platform::PreferredQpaPlatform(
        qgetenv("QT_QPA_PLATFORM"), qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY"));
    if (!qpa.isEmpty())
        qputenv("QT_QPA_PLATFORM", qpa);
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("WinVarno"));
    // Boxes and the help window carry the program icon too; the desktop entry's name
    // lets a Wayland compositor or a tray host find the icon of the theme.
    app.setWindowIcon(app::ProgramIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral(WINVARNO_APP_ID));
    app::ApplyLook(app);
    QTranslator qtTexte;
    platform::DeutscheQtTexte(qtTexte);

    TUmgebung env;
    env.arguments = app.arguments().mid(1);
    env.settingsPath = platform::IniFile::SettingsPath();
    env.programPath = QCoreApplication::applicationFilePath();
    // For a report about a real exchange: every byte on the line, without recompiling.
    env.kommunikationsProtokoll = qEnvironmentVariable("WINVARNO_COMMSLOG");
    env.warnung = [](const QString& caption, const QString& text) {
        QMessageBox::warning(nullptr, caption, text, QMessageBox::Ok);
    };

    env.dateiDialog = [](QFileDialog* dialog) {
        return dialog->exec() == QDialog::Accepted ? dialog->selectedFiles().value(0) : QString();
    };

    // Made first, so a signal during start-up waits in its pipe instead of killing.
    platform::TEndSignals endSignals;
    endSignals.EndWithin(1500);
    // A file size limit (ulimit -f) makes a write fail like a full disk, which every
    // save handles, instead of killing the program in the middle of it.
    std::signal(SIGXFSZ, SIG_IGN);
    THauptFenster fenster(env);
    if (fenster.terminated())
        return 0;
    QObject::connect(&endSignals, &platform::TEndSignals::EndRequested, &fenster, [&fenster] {
        fenster.EndeAufSignal();
        // The window may sit hidden in the notification area, where closing it
        // alone would not end the loop.
        QCoreApplication::quit();
    });
    fenster.show();
    return app.exec();
}
