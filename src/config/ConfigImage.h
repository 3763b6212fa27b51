#pragma once

#include "protocol/Exchange.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <span>
#include <type_traits>

namespace config {

inline constexpr int PortSlots = exchange::kPorts;
inline constexpr int MsnSlots = exchange::kMsns;

enum class Region { Basic, Terminal, Charge };

struct RegionLayout {
    int offset;
    int size;
};

inline constexpr RegionLayout LayoutOf(Region region) {
    switch (region) {
    case Region::Basic:
        return {exchange::kBasicOffset, exchange::kBasicSize};
    case Region::Terminal:
        return {exchange::kTerminalOffset, exchange::kTerminalSize};
    case Region::Charge:
        return {exchange::kChargeOffset, exchange::kChargeSize};
    }
    return {0, 0};
}

// Offsets within the basic block.
namespace basic {
inline constexpr int ConnectionType = 1;
inline constexpr int PortCount = 2;
inline constexpr int Protocol = 3;
inline constexpr int FirmwareMajor = 4;
inline constexpr int FirmwareMinor = 5;
inline constexpr int MsnNumbers = 7; // + 5 m
inline constexpr int MsnNumberSize = 5;
inline constexpr int MusicOnHold = 57;
inline constexpr int InternalS0 = 58;
inline constexpr int ExternalS0 = 59;
inline constexpr int AssignmentMasks = 84; // + m
} // namespace basic

// Offsets within a port record of the terminal block.
namespace port {
inline constexpr int FirstRecord = 1; // region offset of port 1's record
inline constexpr int RecordSize = 24;
inline constexpr int Permission = 1;
inline constexpr int Service = 2;
inline constexpr int ForwardingPort = 3;
inline constexpr int Pulse = 4;
inline constexpr int ForwardingNumber = 7;
inline constexpr int ForwardingNumberSize = 10;
inline constexpr int OutsideLine = 17;
} // namespace port

// Offsets within the charge block.
namespace charge {
inline constexpr int UnitCounters = 1; // + 2 (p - 1), little-endian
} // namespace charge

// Packed decimal: two positions a byte, low nibble first, 15 = empty position.
// Every nibble v becomes the character 48 + v; the "?" of empty positions is dropped.
QString DecodePacked(std::span<const std::uint8_t> field);
// Fills the field from the characters "0".."9" (and ":".."> " for 10..14, so decoded
// text round-trips); other characters are skipped, excess ones dropped, the rest is 15.
void EncodePacked(std::span<std::uint8_t> field, QStringView digits);

// One port record (24 bytes) of the terminal block, viewed in place; Byte is
// const std::uint8_t for a read-only view.
template <typename Byte> class BasicPortRecord {
public:
    explicit BasicPortRecord(std::span<Byte, port::RecordSize> bytes) : m_bytes(bytes) {}

    std::uint8_t Permission() const { return m_bytes[port::Permission]; }
    std::uint8_t Service() const { return m_bytes[port::Service]; }
    std::uint8_t ForwardingPort() const { return m_bytes[port::ForwardingPort]; }
    std::uint8_t PulseByte() const { return m_bytes[port::Pulse]; }
    std::uint8_t OutsideLineByte() const { return m_bytes[port::OutsideLine]; }
    // Exactly 1 means on; any other value is off.
    bool Pulse() const { return PulseByte() == 1; }
    bool OutsideLine() const { return OutsideLineByte() == 1; }
    std::span<Byte, port::ForwardingNumberSize> ForwardingNumber() const {
        return m_bytes.template subspan<port::ForwardingNumber, port::ForwardingNumberSize>();
    }
    QString ForwardingNumberText() const { return DecodePacked(ForwardingNumber()); }

    void SetPermission(std::uint8_t v) requires(!std::is_const_v<Byte>) {
        m_bytes[port::Permission] = v;
    }
    void SetService(std::uint8_t v) requires(!std::is_const_v<Byte>) { m_bytes[port::Service] = v; }
    void SetForwardingPort(std::uint8_t v) requires(!std::is_const_v<Byte>) {
        m_bytes[port::ForwardingPort] = v;
    }
    void SetForwardingNumberText(QStringView digits) requires(!std::is_const_v<Byte>) {
        EncodePacked(ForwardingNumber(), digits);
    }
    void SetPulse(bool on) requires(!std::is_const_v<Byte>) { m_bytes[port::Pulse] = on ? 1 : 0; }
    void SetOutsideLine(bool on) requires(!std::is_const_v<Byte>) {
        m_bytes[port::OutsideLine] = on ? 1 : 0;
    }

    std::span<Byte, port::RecordSize> Bytes() const { return m_bytes; }

private:
    std::span<Byte, port::RecordSize> m_bytes;
};

using PortRecord = BasicPortRecord<std::uint8_t>;
using ConstPortRecord = BasicPortRecord<const std::uint8_t>;

// The 588-byte image of the exchange's three memory blocks; all zero at start.
class ConfigImage {
public:
    static constexpr int Size = exchange::kImageSize;

    std::span<std::uint8_t, Size> Bytes() { return m_bytes; }
    std::span<const std::uint8_t, Size> Bytes() const { return m_bytes; }
    QByteArray ToByteArray() const;

    std::span<std::uint8_t> Block(Region region);
    std::span<const std::uint8_t> Block(Region region) const;
    std::span<std::uint8_t> BasicBlock() { return Block(Region::Basic); }
    std::span<std::uint8_t> TerminalBlock() { return Block(Region::Terminal); }
    std::span<std::uint8_t> ChargeBlock() { return Block(Region::Charge); }
    std::span<const std::uint8_t> BasicBlock() const { return Block(Region::Basic); }
    std::span<const std::uint8_t> TerminalBlock() const { return Block(Region::Terminal); }
    std::span<const std::uint8_t> ChargeBlock() const { return Block(Region::Charge); }

    // Basic-block fields, raw.
    std::uint8_t ConnectionType() const { return m_bytes[basic::ConnectionType]; }
    std::uint8_t PortCountByte() const { return m_bytes[basic::PortCount]; }
    std::uint8_t Protocol() const { return m_bytes[basic::Protocol]; }
    std::uint8_t FirmwareMajor() const { return m_bytes[basic::FirmwareMajor]; }
    std::uint8_t FirmwareMinor() const { return m_bytes[basic::FirmwareMinor]; }
    std::uint8_t MusicOnHold() const { return m_bytes[basic::MusicOnHold]; }
    std::uint8_t InternalS0() const { return m_bytes[basic::InternalS0]; }
    std::uint8_t ExternalS0() const { return m_bytes[basic::ExternalS0]; }

    // msn 0..9
    std::span<std::uint8_t, basic::MsnNumberSize> MsnNumber(int msn);
    std::span<const std::uint8_t, basic::MsnNumberSize> MsnNumber(int msn) const;
    QString MsnText(int msn) const { return DecodePacked(MsnNumber(msn)); }
    void SetMsnText(int msn, QStringView digits) { EncodePacked(MsnNumber(msn), digits); }
    // Bit p-1 set: the MSN rings on port p.
    std::uint8_t AssignmentMask(int msn) const;
    void SetAssignmentMask(int msn, std::uint8_t mask);

    // p 1..8
    PortRecord Port(int p);
    ConstPortRecord Port(int p) const;

    // p 1..8
    std::uint16_t UnitCounterValue(int p) const;
    void SetUnitCounterValue(int p, std::uint16_t units);

    // Stores a device answer at the region's first byte and removes the group headers.
    // An answer longer than the region is cut at the region's end.
    void StoreAnswer(Region region, QByteArrayView received);

    friend bool operator==(const ConfigImage&, const ConfigImage&) = default;

private:
    std::array<std::uint8_t, Size> m_bytes{};
};

// The values decoded from the image and kept beside it. Per-port arrays are
// indexed p - 1 (like SelectedPort), per-MSN ones by the MSN.
struct DecodedArrays {
    int PortCount = 0; // as stored; per-port loops use UsedPorts()
    std::array<std::array<bool, MsnSlots>, PortSlots> AssignmentMatrix{};
    std::array<int, PortSlots> PermissionIndex{};
    std::array<int, PortSlots> ServiceIndex{};
    std::array<bool, PortSlots> PulseFlag{};
    std::array<bool, PortSlots> OutsideLineFlag{};
    std::array<int, PortSlots> UnitCounter{};
    // The user set the counter since the last read: it goes to the exchange as set.
    std::array<bool, PortSlots> UnitCounterEdited{};
    int SelectedMsn = 0;  // 0..9
    int SelectedPort = 0; // 0..7

    // PortCount bounded to the eight port records that exist.
    int UsedPorts() const;
};

} // namespace config
