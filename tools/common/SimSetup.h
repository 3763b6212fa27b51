#pragma once

#include "PtySimulator.h"
#include "app/HauptFormular.h"

#include <QTemporaryDir>
#include <memory>

// The real window against the simulated exchange, with scratch settings, charge
// log and instance lock, so the user's own files stay untouched. For the tools
// that measure the program; construct it after the QApplication.
class TSimSetup {
public:
    explicit TSimSetup(varnosim::TVarnoDevice exchange = {}, varnosim::TSimOptions options = {});

    // Starts the exchange and writes settings that point COM1 at it; false with a
    // message on standard error.
    bool Start();
    // Makes the window; its start-up opens the port and starts the first read.
    THauptFenster& OpenWindow();

    // Stop() and Start() it again for a pulled and returned adapter: the settings
    // name its link, which each start points anew.
    varnosim::TPtySimulator& sim() { return m_sim; }
    QString home() const { return m_home.path(); }

private:
    QTemporaryDir m_home;
    QString m_link; // what the settings name as COM1
    varnosim::TPtySimulator m_sim;
    std::unique_ptr<THauptFenster> m_window;
};
