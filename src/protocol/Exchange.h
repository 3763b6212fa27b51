#pragma once

// The exchange's numbering and memory layout, the one place these numbers live.
namespace exchange {

inline constexpr int kPorts = 8; // analogue ports, shown as 21..28, indexed 1..8
inline constexpr int kFirstPort = 21;
inline constexpr int kMsns = 10; // MSNs 0..9

// Where each block lies in the 588-byte image, as line bytes (headers included).
inline constexpr int kBasicOffset = 0, kBasicSize = 151;
inline constexpr int kTerminalOffset = kBasicOffset + kBasicSize, kTerminalSize = 261;
inline constexpr int kChargeOffset = kTerminalOffset + kTerminalSize, kChargeSize = 176;
inline constexpr int kImageSize = kChargeOffset + kChargeSize;
static_assert(kImageSize == 588);

// Data bytes left of a region once the group headers are removed.
constexpr int DataBytes(int regionSize) {
    return regionSize - (regionSize + 3) / 4;
}

// Line bytes up to and including the last data byte of an answer carrying `dataBytes`
// (each group of four: a header, then three data bytes). Fewer is a cut-off answer.
constexpr int LineBytesCarrying(int dataBytes) {
    const int last = dataBytes - 1;
    return 4 * (last / 3) + 2 + last % 3;
}

// Line bytes of a whole answer as the exchange sends it: complete groups.
constexpr int LineBytesOfAnswer(int dataBytes) {
    return 4 * ((dataBytes + 2) / 3);
}

static_assert(DataBytes(kBasicSize) == 113 && DataBytes(kTerminalSize) == 195 &&
              DataBytes(kChargeSize) == 132);
static_assert(LineBytesCarrying(113) == 151 && LineBytesCarrying(195) == 260 &&
              LineBytesCarrying(132) == 176);
static_assert(LineBytesOfAnswer(113) == 152 && LineBytesOfAnswer(195) == 260 &&
              LineBytesOfAnswer(132) == 176);

} // namespace exchange
