#include "config/ConfigImage.h"

#include "protocol/FrameCodec.h"

#include <QtGlobal>
#include <algorithm>
#include <cstring>

namespace config {
namespace {

constexpr std::uint8_t EmptyNibble = 15;

bool ValidPort(int p) {
    return p >= 1 && p <= PortSlots;
}
bool ValidMsn(int m) {
    return m >= 0 && m < MsnSlots;
}

} // namespace

QString DecodePacked(std::span<const std::uint8_t> field) {
    QString text;
    text.reserve(qsizetype(field.size() * 2));
    for (const std::uint8_t byte : field) {
        for (const int nibble : {byte & 0x0F, byte >> 4}) {
            const QChar c(char16_t(u'0' + nibble));
            if (c != u'?')
                text.append(c);
        }
    }
    return text;
}

void EncodePacked(std::span<std::uint8_t> field, QStringView digits) {
    std::fill(field.begin(), field.end(), std::uint8_t(0xFF));
    std::size_t position = 0;
    for (const QChar c : digits) {
        if (position >= field.size() * 2)
            break;
        const int nibble = c.unicode() - u'0';
        if (nibble < 0 || nibble >= EmptyNibble)
            continue;
        std::uint8_t& byte = field[position / 2];
        if (position % 2 == 0)
            byte = std::uint8_t((byte & 0xF0) | nibble);
        else
            byte = std::uint8_t((byte & 0x0F) | (nibble << 4));
        ++position;
    }
}

QByteArray ConfigImage::ToByteArray() const {
    return QByteArray(reinterpret_cast<const char*>(m_bytes.data()), Size);
}

std::span<std::uint8_t> ConfigImage::Block(Region region) {
    const RegionLayout l = LayoutOf(region);
    return std::span<std::uint8_t>(m_bytes).subspan(std::size_t(l.offset), std::size_t(l.size));
}

std::span<const std::uint8_t> ConfigImage::Block(Region region) const {
    const RegionLayout l = LayoutOf(region);
    return std::span<const std::uint8_t>(m_bytes).subspan(std::size_t(l.offset),
                                                          std::size_t(l.size));
}

std::span<std::uint8_t, basic::MsnNumberSize> ConfigImage::MsnNumber(int msn) {
    Q_ASSERT(ValidMsn(msn));
    return std::span<std::uint8_t, basic::MsnNumberSize>(
        m_bytes.data() + basic::MsnNumbers + basic::MsnNumberSize * msn, basic::MsnNumberSize);
}

std::span<const std::uint8_t, basic::MsnNumberSize> ConfigImage::MsnNumber(int msn) const {
    Q_ASSERT(ValidMsn(msn));
    return std::span<const std::uint8_t, basic::MsnNumberSize>(
        m_bytes.data() + basic::MsnNumbers + basic::MsnNumberSize * msn, basic::MsnNumberSize);
}

std::uint8_t ConfigImage::AssignmentMask(int msn) const {
    Q_ASSERT(ValidMsn(msn));
    return m_bytes[std::size_t(basic::AssignmentMasks + msn)];
}

void ConfigImage::SetAssignmentMask(int msn, std::uint8_t mask) {
    Q_ASSERT(ValidMsn(msn));
    m_bytes[std::size_t(basic::AssignmentMasks + msn)] = mask;
}

PortRecord ConfigImage::Port(int p) {
    Q_ASSERT(ValidPort(p));
    const int offset =
        LayoutOf(Region::Terminal).offset + port::FirstRecord + port::RecordSize * (p - 1);
    return PortRecord(
        std::span<std::uint8_t, port::RecordSize>(m_bytes.data() + offset, port::RecordSize));
}

ConstPortRecord ConfigImage::Port(int p) const {
    Q_ASSERT(ValidPort(p));
    const int offset =
        LayoutOf(Region::Terminal).offset + port::FirstRecord + port::RecordSize * (p - 1);
    return ConstPortRecord(
        std::span<const std::uint8_t, port::RecordSize>(m_bytes.data() + offset, port::RecordSize));
}

std::uint16_t ConfigImage::UnitCounterValue(int p) const {
    Q_ASSERT(ValidPort(p));
    const auto block = ChargeBlock();
    const std::size_t at = std::size_t(charge::UnitCounters + 2 * (p - 1));
    return std::uint16_t(block[at] | (block[at + 1] << 8));
}

void ConfigImage::SetUnitCounterValue(int p, std::uint16_t units) {
    Q_ASSERT(ValidPort(p));
    const auto block = ChargeBlock();
    const std::size_t at = std::size_t(charge::UnitCounters + 2 * (p - 1));
    block[at] = std::uint8_t(units & 0xFF);
    block[at + 1] = std::uint8_t(units >> 8);
}

void ConfigImage::StoreAnswer(Region region, QByteArrayView received) {
    const auto block = Block(region);
    const std::size_t n =
        std::min(block.size(), std::size_t(std::max<qsizetype>(0, received.size())));
    if (n > 0)
        std::memcpy(block.data(), received.data(), n);
    device::CompactFrameGroups(block);
}

int DecodedArrays::UsedPorts() const {
    return std::clamp(PortCount, 0, PortSlots);
}

} // namespace config
