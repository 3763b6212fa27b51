#pragma once

#include "config/ConfigImage.h"

#include <QString>
#include <array>

namespace config {

// Texts of the "Konfiguration" page and which ports the device has. Fields are
// named after the labels they go to.
struct BasicBlockView {
    QString Protokoll;
    QString Anschlussart;
    QString MusicOnHold;
    QString S0Extern;
    QString S0Intern;
    QString abSchnittstellen; // PortCount as stored, even when outside 1..8
    QString Firmware;         // "%d.%d"
    std::array<QString, MsnSlots> MSN;

    // Ports 1..UsedPorts exist; the rest (index p - 1 in PortUnused) get the
    // button-face boxes, disabled check boxes and name labels.
    int UsedPorts = 0;
    std::array<bool, PortSlots> PortUnused{};
    // The stored port count lies outside 1..8 (the exchange has 1..8 a/b ports).
    bool PortCountOutOfRange = false;
};

// How many entries the port selector keeps: its first UsedPorts ones at most.
int PortSelectorEntries(int currentEntries, const BasicBlockView& view);

// One port's row on "Zuordnung" and "Berechtigungen".
struct PortRowView {
    QString Berechtigung; // empty for an index without a name
    QString Dienst;       // likewise
    QString Rufumleitung; // internal port "%d", or the external number
    bool Impuls = false;
    bool Amtsholung = false;
    std::array<bool, MsnSlots> Zuordnung{}; // ticked cells of the row, by MSN
};

// Rows 0..DecodedPorts-1 (ports 21 onward) were decoded; the window leaves the
// cells and labels of the other rows as they are.
struct TerminalBlockView {
    int DecodedPorts = 0;
    std::array<PortRowView, PortSlots> Ports{};
};

// Name of a permission index 0..4 / service index 0..5; empty text beyond the table.
QString PermissionName(int index);
QString ServiceName(int index);

// Sets PortCount from the basic block and returns the page's texts.
BasicBlockView DecodeBasicBlock(const ConfigImage& image, DecodedArrays& arrays);

// Rebuilds the per-port arrays and the assignment matrix of ports 1..UsedPorts
// (run after DecodeBasicBlock); arrays of other ports keep their values.
TerminalBlockView DecodeTerminalBlock(const ConfigImage& image, DecodedArrays& arrays);

} // namespace config
