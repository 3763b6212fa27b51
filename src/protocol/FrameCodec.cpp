#include "protocol/FrameCodec.h"

namespace device {

QByteArray FrameLineBytes(QByteArrayView message) {
    const qsizetype length = message.size();
    QByteArray line;
    if (length < 1)
        return line;
    const qsizetype groups = (length + GroupDataBytes - 1) / GroupDataBytes;
    line.reserve(groups * GroupSize);
    for (qsizetype i = 0; i < groups * GroupDataBytes; ++i) {
        if (i % GroupDataBytes == 0) {
            // A group whose three bytes end the message exactly is the last one (0x83).
            const bool last = i >= length - GroupDataBytes;
            line.append(char(last ? LastGroupHeader + (length - i) : MoreGroupsHeader));
        }
        line.append(i < length ? message[i] : '\0');
    }
    return line;
}

std::size_t CompactFrameGroups(std::span<std::uint8_t> region) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < region.size(); ++i)
        if (i % GroupSize != 0)
            region[out++] = region[i];
    return out;
}

namespace {

// The message that begins at `start`, if one does: its line bytes and data bytes.
bool MessageAt(QByteArrayView block, qsizetype start, qsizetype& length, int& data) {
    data = 0;
    for (qsizetype at = start; at + GroupSize <= block.size(); at += GroupSize) {
        const auto header = std::uint8_t(block[at]);
        if (header == MoreGroupsHeader) {
            data += GroupDataBytes;
            continue;
        }
        if (header <= LastGroupHeader || header > LastGroupHeader + GroupDataBytes)
            return false;
        data += header - LastGroupHeader;
        length = at + GroupSize - start;
        return true;
    }
    return false; // cut off before its last group
}

} // namespace

TFramedMessage FindFramedMessage(QByteArrayView block, int dataBytes) {
    TFramedMessage longer;
    qsizetype start = 0;
    while (start < block.size()) {
        qsizetype length = 0;
        int data = 0;
        if (!MessageAt(block, start, length, data)) {
            ++start; // noise: no message begins here
            continue;
        }
        if (data == dataBytes)
            return {start, length, data};
        if (data > dataBytes && !longer.Found())
            longer = {start, length, data};
        // A whole message of another length is passed over as one: its tail would
        // read as a framed message too.
        start += length;
    }
    return longer;
}

} // namespace device
