#pragma once

#include "config/ConfigImage.h"

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

// What changed between two configurations, in the words of the pages.
namespace config {

// The bytes that make up a configuration: those the write sequence sends of the
// basic block and of the port records, without the command bytes (the program puts
// its own there) and without the counters. Port records count for ports 1..PortCount
// of both images; a port that only one image has shows as added or gone.
bool ComparedByte(const ConfigImage& a, const ConfigImage& b, int offset);

// The image with every byte outside the configuration zeroed: two images with the
// same configuration give the same bytes, which can be stored as a parameter file.
ConfigImage ConfigurationOnly(const ConfigImage& image);

// Which field a change concerns, so a caller can leave some out (the firmware is
// set by the exchange itself, not written).
enum class ChangedField {
    Protocol,
    ConnectionType,
    ExternalS0,
    InternalS0,
    PortCount,
    Firmware,
    MusicOnHold,
    MsnNumber,
    Assignment,
    PortPresence, // a port that only one of the two has
    Forwarding,
    Permission,
    Service,
    Pulse,
    OutsideLine,
    OtherByte, // a byte no page shows, or a byte whose field shows the same either way
};

struct ConfigChange {
    ChangedField field = ChangedField::OtherByte;
    int port = 0; // 21..28 when the change belongs to a port, else 0
    int msn = -1; // 0..9 when it belongs to an MSN, else -1
    QString text; // e.g. "MSN 3: 0221 → 0222"
    // The image offsets whose difference this line names; every one differs.
    std::vector<std::uint16_t> bytes;
};

// The names the user gave ports 21..28 (index p - 1); empty for none.
using PortNames = std::array<QString, PortSlots>;

// Every difference in the configuration between `before` and `after`, in page order:
// each differing configuration byte is named by at least one line, and nothing is
// named when the configurations are equal. Port names go in brackets after the port.
std::vector<ConfigChange> CompareConfigurations(const ConfigImage& before, const ConfigImage& after,
                                                const PortNames& names = {});

// One line for a list: the first change, and how many more there are.
QString ChangeSummary(const std::vector<ConfigChange>& changes);

} // namespace config
