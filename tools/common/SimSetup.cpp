#include "SimSetup.h"

#include <QFile>
#include <cstdio>

namespace {

varnosim::TSimOptions WithLink(varnosim::TSimOptions options, const QString& link) {
    options.linkPath = QFile::encodeName(link).toStdString();
    return options;
}

} // namespace

// The exchange is reached through a link, as a udev rule gives a USB adapter one.
TSimSetup::TSimSetup(varnosim::TVarnoDevice exchange, varnosim::TSimOptions options)
    : m_link(options.linkPath.empty() ? m_home.filePath("varno")
                                      : QFile::decodeName(options.linkPath.c_str())),
      m_sim(std::move(exchange), WithLink(std::move(options), m_link)) {
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        qputenv(name, m_home.path().toLocal8Bit());
}

bool TSimSetup::Start() {
    std::string error;
    if (!m_sim.Start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return false;
    }
    QFile ini(m_home.filePath("WinVarno.INI"));
    if (!ini.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(ini.fileName()));
        return false;
    }
    ini.write("[Allgemein]\nAnschluß=COM1\n[Schnittstellen]\nCOM1=" + QFile::encodeName(m_link) +
              "\n");
    return true;
}

THauptFenster& TSimSetup::OpenWindow() {
    TUmgebung env;
    // Its own exchange, never a service winvarnod on the user's session bus.
    env.dienstBus = [] { return QDBusConnection(QStringLiteral("winvarno-ohne-dienst")); };
    env.settingsPath = m_home.filePath("WinVarno.INI");
    env.programPath = m_home.filePath("WinVarno");
    env.warnung = [](const QString&, const QString& text) {
        std::fprintf(stderr, "warning: %s\n", qPrintable(text));
    };
    m_window = std::make_unique<THauptFenster>(env);
    return *m_window;
}
