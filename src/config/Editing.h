#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

// What the parametrization pages take from their fields.
namespace config {

// The number typed for an MSN: its first 14 characters, a space standing for the
// digit 0 but ending the number the label shows there.
struct MsnEntry {
    QString shown;                     // the label's text: up to the first space
    std::array<std::uint8_t, 5> bytes; // the packed digits for the image (10 positions)
};
MsnEntry TakeMsnNumber(const QString& text);

// A whole number the forgiving way: leading blanks skipped, a sign allowed, "$"
// for hexadecimal, and a text that is no whole number gives its leading digits
// ("12abc" is 12, "" is 0). nullopt only when the value does not fit 64 bits.
std::optional<long long> ParseWholeNumber(const QString& text);

// A units value a 16-bit counter can hold.
inline bool FitsCounter(long long v) {
    return v >= 0 && v <= 65535;
}

} // namespace config
