#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

// What the parametrization pages take from their fields.
namespace config {

inline constexpr int kMsnPositions = 10;

// The number typed for an MSN: up to its first blank, at most the ten positions the
// image holds; the label shows exactly what the bytes hold.
struct MsnEntry {
    QString shown;                     // the label's text
    std::array<std::uint8_t, 5> bytes; // the packed digits for the image
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
