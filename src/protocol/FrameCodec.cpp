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

} // namespace device
