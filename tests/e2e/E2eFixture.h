#pragma once

// The real window over the real serial component, against the simulated exchange
// on a pseudo-terminal.
#include "LineTap.h"
#include "PtySimulator.h"
#include "support/WindowFixture.h"

#include "device/PacedSend.h"
#include "serial/Comm32.h"

#include <QFile>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <mutex>

inline constexpr int kWaitMs = 10000; // generous: the machine may be busy

struct E2eFixture : WindowFixture {
    varnosim::TVarnoDevice exchange;
    varnosim::TSimOptions options;
    bool tapTheLine = false;
    std::unique_ptr<varnosim::TPtySimulator> sim;
    TLineTap tap;
    std::unique_ptr<THauptFenster> w;

    std::mutex eventLock;
    QStringList simEvents;

    void SetUp() override {
        options.byteTimeMs = 0.05; // the line rate only matters in the benchmark
        device::SetPacingStep(std::chrono::milliseconds(1));
    }
    void TearDown() override {
        w.reset(); // closes the port before the exchange goes away
        tap.Stop();
        if (sim)
            sim->Stop();
        device::SetPacingStep(std::chrono::milliseconds(50));
    }

    // Starts the exchange and the window; the window's start-up sends the first request.
    void start(const QStringList& args = {}) {
        ASSERT_NO_FATAL_FAILURE(startExchange());
        // A link, when there is one, is what a device that goes away takes with it.
        QString path = options.linkPath.empty() ? QString::fromStdString(sim->DevicePath())
                                                : QFile::decodeName(options.linkPath.c_str());
        std::string error;
        if (tapTheLine) {
            ASSERT_TRUE(tap.Start(sim->DevicePath(), &error)) << error;
            path = tap.ProgramPath();
        }
        ASSERT_NO_FATAL_FAILURE(openWindow(path, args));
    }

    // A (new) simulated exchange; the old one, if any, goes first.
    void startExchange() {
        if (sim)
            sim->Stop();
        sim = std::make_unique<varnosim::TPtySimulator>(exchange, options);
        sim->OnEvent = [this](const std::string& text) {
            std::lock_guard guard(eventLock);
            simEvents << QString::fromStdString(text);
        };
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
    }

    // The window on any device path, with the real serial component.
    void openWindow(const QString& path, const QStringList& args = {}) {
        ASSERT_NO_FATAL_FAILURE(makeWindow(path, args));
        ASSERT_TRUE(Control<TComm32>(*w, "Communication")->IsOpen())
            << w->statusText(0).toStdString();
    }
    void makeWindow(const QString& path, const QStringList& args = {},
                    const QByteArray& moreSettings = {}) {
        settings("[Allgemein]\nAnschluß=COM1\nWartezeit=1\n" + moreSettings +
                 "[Schnittstellen]\nCOM1=" + path.toUtf8() + "\n");
        TUmgebung env = umgebung(args);
        env.line = nullptr;
        w = std::make_unique<THauptFenster>(env);
        // Seconds are counted by hand, so no test waits for a time-out.
        Control<QTimer>(*w, "SekundenTimer")->stop();
    }

    QStringList events() {
        std::lock_guard guard(eventLock);
        return simEvents;
    }
    QStringList requestsAnswered() { return events().filter("request "); }

    bool readDone() const {
        return w->Sitzung().Transfer().CurrentState() == 2 &&
               w->Sitzung().Transfer().TimeoutLeft() == -1 &&
               Control<QPushButton>(*w, "LesenButton")->isEnabled();
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i)
            w->OnSekunde();
    }
    QList<QWidget*> enabledControls() { return EnabledControls(*w); }
    // The data bytes of a block as the exchange holds them (its byte 0 is not data).
    static QByteArray Data(const varnosim::TImage& image, const varnosim::TRegion& region) {
        return QByteArray(reinterpret_cast<const char*>(image.data()) + region.offset + 1,
                          qsizetype(varnosim::DataBytes(region)) - 1);
    }
    QByteArray Data(config::Region region) const {
        const auto block = w->Sitzung().Image().Block(region);
        const auto n = qsizetype(block.size() - (block.size() + 3) / 4);
        return QByteArray(reinterpret_cast<const char*>(block.data()) + 1, n - 1);
    }
};
