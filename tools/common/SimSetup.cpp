#include "SimSetup.h"

#include <QFile>
#include <cstdio>

TSimSetup::TSimSetup(varnosim::TVarnoDevice exchange, varnosim::TSimOptions options)
    : m_sim(std::move(exchange), options) {
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
    ini.write("[Allgemein]\nAnschluß=COM1\n[Schnittstellen]\nCOM1=" +
              QByteArray::fromStdString(m_sim.DevicePath()) + "\n");
    return true;
}

THauptFenster& TSimSetup::OpenWindow() {
    TUmgebung env;
    env.settingsPath = m_home.filePath("WinVarno.INI");
    env.programPath = m_home.filePath("WinVarno");
    env.warnung = [](const QString&, const QString& text) {
        std::fprintf(stderr, "warning: %s\n", qPrintable(text));
    };
    m_window = std::make_unique<THauptFenster>(env);
    return *m_window;
}
