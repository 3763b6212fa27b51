#include "VarnoDevice.h"

#include <cstdio>
#include <cstring>
#include <fstream>

namespace varnosim {

std::vector<uint8_t> FrameMessage(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> line;
    const size_t length = data.size();
    for (size_t i = 0; i < length; i += 3) {
        line.push_back(i + 3 < length ? uint8_t(0x03) : uint8_t(0x80 + (length - i)));
        for (size_t k = i; k < i + 3; ++k)
            line.push_back(k < length ? data[k] : 0);
    }
    return line;
}

std::vector<uint8_t> AnswerLineBytes(const TImage& image, const TRegion& region) {
    std::vector<uint8_t> data(image.begin() + long(region.offset),
                              image.begin() + long(region.offset + DataBytes(region)));
    data[0] = region.readCode;
    return FrameMessage(data);
}

void PackDigits(uint8_t* field, size_t bytes, const std::string& digits) {
    std::memset(field, 0xFF, bytes);
    for (size_t i = 0; i < digits.size() && i < 2 * bytes; ++i) {
        const uint8_t d = uint8_t(digits[i] - '0') & 0x0F;
        uint8_t& b = field[i / 2];
        b = (i % 2 == 0) ? uint8_t((b & 0xF0) | d) : uint8_t((b & 0x0F) | (d << 4));
    }
}

std::string UnpackDigits(const uint8_t* field, size_t bytes) {
    std::string digits;
    for (size_t i = 0; i < 2 * bytes; ++i) {
        const uint8_t nibble = (i % 2 == 0) ? (field[i / 2] & 0x0F) : (field[i / 2] >> 4);
        if (nibble != 0x0F)
            digits += char('0' + nibble);
    }
    return digits;
}

TImage DefaultImage() {
    TImage image{};
    uint8_t* basic = image.data() + BasicRegion.offset;
    basic[1] = 1; // point-to-point
    basic[2] = 8; // a/b ports
    basic[3] = 1; // DSS1
    basic[4] = 1;
    basic[5] = 93;
    static const char* const msns[10] = {"4711",       "4712",    "4713", "4714", "0301234567",
                                         "0309876543", "5550100", "",     "",     ""};
    for (int m = 0; m < 10; ++m)
        PackDigits(basic + 7 + 5 * m, 5, msns[m]);
    basic[57] = 1; // music on hold
    basic[58] = 1; // internal S0
    basic[59] = 1; // external S0
    // MSN m rings on these ports (bit p-1 = port 20+p).
    static const uint8_t masks[10] = {0x01, 0x02, 0x0C, 0x10, 0x20, 0xC0, 0x81, 0x00, 0x00, 0x00};
    for (int m = 0; m < 10; ++m)
        basic[84 + m] = masks[m];

    uint8_t* terminal = image.data() + TerminalRegion.offset;
    for (int p = 1; p <= 8; ++p) {
        uint8_t* record = terminal + 1 + 24 * (p - 1);
        record[1] = uint8_t((p - 1) % 5); // permission
        record[2] = uint8_t((p + 1) % 6); // service
        record[3] = 0;                    // no internal forwarding
        record[4] = (p % 2 == 1) ? 1 : 0; // charge pulse
        PackDigits(record + 7, 10, "");
        record[17] = (p % 3 == 0) ? 1 : 0; // spontaneous outside line
    }
    terminal[1 + 24 * 1 + 3] = 23;                            // port 22 forwards to port 23
    PackDigits(terminal + 1 + 24 * 4 + 7, 10, "01715551234"); // port 25 forwards outside

    uint8_t* charges = image.data() + ChargeRegion.offset;
    static const uint16_t units[8] = {120, 0, 37, 512, 5, 0, 1999, 64};
    for (int p = 0; p < 8; ++p) {
        charges[1 + 2 * p] = uint8_t(units[p] & 0xFF);
        charges[2 + 2 * p] = uint8_t(units[p] >> 8);
    }
    return image;
}

TVarnoDevice::TVarnoDevice() : m_image(DefaultImage()) {
}

void TVarnoDevice::SetFirmware(int major, int minor) {
    m_image[4] = uint8_t(major);
    m_image[5] = uint8_t(minor);
}

void TVarnoDevice::SetPortCount(int ports) {
    m_image[2] = uint8_t(ports);
}

bool TVarnoDevice::LoadParameterFile(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    TImage image{};
    if (!in.read(reinterpret_cast<char*>(image.data()), std::streamsize(image.size()))) {
        if (error)
            *error = "cannot read 588 bytes from " + path;
        return false;
    }
    m_image = image;
    return true;
}

bool TVarnoDevice::SaveParameterFile(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(m_image.data()), std::streamsize(m_image.size()));
    return bool(out.flush());
}

void TVarnoDevice::Resync() {
    m_ignoredBytes += int(m_group.size() + m_message.size());
    m_group.clear();
    m_message.clear();
}

std::optional<TAnswer> TVarnoDevice::Feed(uint8_t byte, int64_t nowMs) {
    if (!(m_group.empty() && m_message.empty()) && nowMs - m_lastByteMs > MessageGapMs) {
        Note("unfinished message dropped");
        Resync();
    }
    m_lastByteMs = nowMs;
    if (m_group.empty() && byte != 0x03 && (byte < 0x81 || byte > 0x83)) {
        ++m_ignoredBytes; // not a group header: wait for one
        return std::nullopt;
    }
    m_group.push_back(byte);
    if (m_group.size() < 4)
        return std::nullopt;

    const uint8_t header = m_group[0];
    const size_t valid = header == 0x03 ? 3 : size_t(header - 0x80);
    m_message.insert(m_message.end(), m_group.begin() + 1, m_group.begin() + 1 + long(valid));
    m_group.clear();
    if (m_message.size() > 129) {
        Note("overlong message dropped");
        Resync();
        return std::nullopt;
    }
    if (header == 0x03)
        return std::nullopt;
    auto answer = Dispatch();
    m_message.clear();
    return answer;
}

std::optional<TAnswer> TVarnoDevice::Dispatch() {
    const std::vector<uint8_t>& msg = m_message;
    const uint8_t code = msg[0];
    const TRegion* region = nullptr;
    switch (code) {
    case 10:
        region = &BasicRegion;
        break;
    case 8:
        region = &TerminalRegion;
        break;
    case 6:
        region = &ChargeRegion;
        break;
    default:
        break;
    }
    if (region && msg.size() == 3) {
        if (code == m_faults.silentOn) {
            Note("request " + std::to_string(code) + " left unanswered");
            return std::nullopt;
        }
        TAnswer answer;
        answer.code = code;
        for (int i = 0; i < m_faults.garbage; ++i) {
            m_noise = m_noise * 1103515245u + 12345u;
            answer.bytes.push_back(uint8_t(m_noise >> 16));
        }
        const auto framed = AnswerLineBytes(m_image, *region);
        answer.bytes.insert(answer.bytes.end(), framed.begin(), framed.end());
        if (m_faults.lateMs > 0 && (m_faults.lateOn < 0 || m_faults.lateOn == code))
            answer.delayMs = m_faults.lateMs;
        answer.pauseAfter = m_faults.pauseAfter;
        answer.pauseMs = m_faults.pauseMs;
        Note("request " + std::to_string(code) + " answered with " +
             std::to_string(answer.bytes.size()) + " bytes");
        return answer;
    }

    uint8_t* basic = m_image.data() + BasicRegion.offset;
    uint8_t* terminal = m_image.data() + TerminalRegion.offset;
    uint8_t* charges = m_image.data() + ChargeRegion.offset;
    const bool write = (code == 9 && msg.size() == 107) || (code == 7 && msg.size() == 22) ||
                       (code == 12 && msg.size() == 1) || (code == 5 && msg.size() == 129);
    if (write && ++m_writeMessages == m_faults.ignoreWrite) {
        Note("write message " + std::to_string(m_writeMessages) + " (code " + std::to_string(code) +
             ") lost");
        if (code == 7 && m_portRecords < 8)
            ++m_portRecords;
        return std::nullopt;
    }
    if (code == 9 && msg.size() == 107) {
        std::copy(msg.begin() + 1, msg.end(), basic + 1);
        m_portRecords = 0;
        ++m_appliedWrites;
        Note("basic block written");
    } else if (code == 7 && msg.size() == 22) {
        // Records carry no port number: they come in port order after the basic block.
        if (m_portRecords < 8) {
            std::copy(msg.begin() + 1, msg.end(), terminal + 1 + 24 * m_portRecords);
            ++m_portRecords;
            ++m_appliedWrites;
            Note("port " + std::to_string(20 + m_portRecords) + " written");
        } else {
            Note("port record beyond port 28 ignored");
        }
    } else if (code == 12 && msg.size() == 1) {
        m_portRecords = 0;
        ++m_appliedWrites;
        Note("end of port records");
    } else if (code == 5 && msg.size() == 129) {
        std::copy(msg.begin() + 1, msg.end(), charges + 1);
        ++m_appliedWrites;
        Note("charge block written");
    } else {
        Note("unknown message " + std::to_string(code) + " of " + std::to_string(msg.size()) +
             " bytes ignored");
    }
    return std::nullopt;
}

void TVarnoDevice::ChargeTick() {
    ++m_ticks;
    uint8_t* charges = m_image.data() + ChargeRegion.offset;
    const int ports = std::min(PortCount(), 8);
    for (int p = 1; p <= ports; ++p) {
        if (m_ticks % uint64_t(p) != 0)
            continue;
        const uint16_t units = uint16_t(Units(p) + 1);
        charges[1 + 2 * (p - 1)] = uint8_t(units & 0xFF);
        charges[2 + 2 * (p - 1)] = uint8_t(units >> 8);
    }
}

uint16_t TVarnoDevice::Units(int port) const {
    if (port < 1 || port > 8)
        return 0;
    const uint8_t* charges = m_image.data() + ChargeRegion.offset;
    return uint16_t(charges[1 + 2 * (port - 1)] | (charges[2 + 2 * (port - 1)] << 8));
}

} // namespace varnosim
