#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>
#include <span>

namespace device {

inline constexpr int GroupSize = 4; // header + three data bytes
inline constexpr int GroupDataBytes = 3;
inline constexpr std::uint8_t MoreGroupsHeader = 0x03;
inline constexpr std::uint8_t LastGroupHeader = 0x80; // + number of valid data bytes

// The line bytes of one message, in sending order: ceil(L/3) groups of a header and
// three data bytes. The padding of the last group is 0, never read from beyond the
// message. An empty message gives no bytes.
QByteArray FrameLineBytes(QByteArrayView message);

// Removes the header byte of every group from the region in place, keeping the data
// bytes in order at its start. Header values are never looked at. Returns the number
// of data bytes (size - ceil(size/4)); the rest of the region keeps its old bytes.
std::size_t CompactFrameGroups(std::span<std::uint8_t> region);

// Where a well-framed message lies in a received block: whole groups, 0x03 on every
// group but the last, 0x81..0x83 on the last.
struct TFramedMessage {
    qsizetype offset = -1; // its first line byte; -1 when the block holds none
    qsizetype length = 0;  // its line bytes
    int dataBytes = 0;     // the valid data bytes its headers announce
    bool Found() const { return offset >= 0; }
};

// The answer carrying at least `dataBytes` data bytes in the block. Bytes where no
// message begins are noise and skipped one by one; a message of another length is
// passed over whole. The first message of exactly `dataBytes` wins; a longer one is
// taken only when the block holds none, so another firmware's larger block still
// reaches the firmware gate. Without a checksum, noise that itself reads as the
// start of a message (0x03 four bytes before an answer) cannot be told apart.
TFramedMessage FindFramedMessage(QByteArrayView block, int dataBytes);

} // namespace device
