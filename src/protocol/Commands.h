#pragma once

#include <QByteArray>
#include <cstdint>

namespace device {

// Command codes: the first data byte of every message to the exchange.
namespace command {
inline constexpr std::uint8_t ReadBasicBlock = 10;
inline constexpr std::uint8_t ReadTerminalBlock = 8;
inline constexpr std::uint8_t ReadChargeBlock = 6;
inline constexpr std::uint8_t WriteBasicBlock = 9;
inline constexpr std::uint8_t WritePortRecord = 7;
inline constexpr std::uint8_t EndOfPortRecords = 12;
inline constexpr std::uint8_t WriteChargeBlock = 5;
} // namespace command

// Data bytes of each write message (before framing).
inline constexpr int BasicBlockMessageLength = 107;
inline constexpr int PortRecordMessageLength = 22;
inline constexpr int EndOfPortRecordsMessageLength = 1;
inline constexpr int ChargeBlockMessageLength = 129;

// The four ready-made line bytes of a read request (one group: 0x83, code, 0, 0).
// Read requests go out in one unpaced send.
inline QByteArray ReadRequest(std::uint8_t code) {
    return QByteArray::fromRawData("\x83", 1) + char(code) + QByteArray(2, '\0');
}

} // namespace device
