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

} // namespace device
