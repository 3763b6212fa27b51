#pragma once

#include "protocol/Exchange.h"

#include <QDateTime>
#include <QString>
#include <array>

class QPainter;
class QRect;

// The one-page configuration and charge printout, drawn without widgets so that
// a printer, a PDF writer or an image can take it alike.
namespace report {

inline constexpr int kPorts = exchange::kPorts;
inline constexpr int kMsns = exchange::kMsns;

// One analogue port: the captions shown for it and its flags.
struct PortRow {
    QString bezeichnung;
    QString rufumleitung;
    QString berechtigung;
    QString dienst;
    QString einheiten;
    QString kosten;
    std::array<bool, kMsns> msns{}; // MSN 0..9 rings on this port
    bool impuls = false;
    bool amtsholung = false; // spontaneous outside-line seizure
};

// Everything the page shows, as the window's labels and arrays hold it.
struct PrintoutData {
    QDateTime zeitpunkt;
    QString protokoll, anschlussart, s0Extern, s0Intern, abSchnittstellen, firmware, musicOnHold;
    std::array<QString, kMsns> msn;
    int portCount = 0; // ports 21 .. 20 + portCount are printed; bounded to 0..8
    std::array<PortRow, kPorts> ports;
    QString einheitenSumme, kostenSumme;
};

// The assigned MSN numbers, ascending, joined by ", "; empty when none is.
QString AssignmentText(const std::array<bool, kMsns>& msns);

// Draws the page into `page`, in device pixels of the painter's device; the
// painter's state is restored afterwards.
void DrawPrintout(QPainter& painter, const QRect& page, const PrintoutData& data);

} // namespace report
