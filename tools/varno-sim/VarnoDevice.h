#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The exchange's side of the line protocol, free of any I/O so it can be tested
// byte by byte.
namespace varnosim {

inline constexpr size_t ImageSize = 588;
using TImage = std::array<uint8_t, ImageSize>;

struct TRegion {
    uint8_t readCode;
    size_t offset;
    size_t size; // the region's size in the image, group headers included
};
inline constexpr TRegion BasicRegion{10, 0, 151};
inline constexpr TRegion TerminalRegion{8, 151, 261};
inline constexpr TRegion ChargeRegion{6, 412, 176};

// Data bytes a region holds once the group headers are removed: 113, 195, 132.
constexpr size_t DataBytes(const TRegion& r) {
    return r.size - (r.size + 3) / 4;
}

// A message in whole groups, padding taken as zero: how the program sends its
// messages and the exchange its answers.
std::vector<uint8_t> FrameMessage(const std::vector<uint8_t>& data);

// Packed decimal, first digit in the low nibble, 0xF for empty positions.
void PackDigits(uint8_t* field, size_t bytes, const std::string& digits);
std::string UnpackDigits(const uint8_t* field, size_t bytes);

// A realistic exchange: firmware 1.93, 8 ports, per-port settings that differ.
TImage DefaultImage();

// The answer to the read request of `region`: its data bytes (the code first) in
// whole groups, 152, 260 and 176 line bytes.
std::vector<uint8_t> AnswerLineBytes(const TImage& image, const TRegion& region);

struct TFaults {
    int silentOn = -1; // read code left unanswered
    int lateOn = -1;   // read code answered late (-1 with lateMs > 0: every code)
    int lateMs = 0;
    int pauseAfter = -1; // pause inside every answer after this many bytes
    int pauseMs = 0;
    int garbage = 0;       // bytes of noise in front of every answer
    long hangupAfter = -1; // hang up after sending this many bytes in all
    // The n-th write message (9, 7, 12 or 5; 1 = the first) is lost as a line fault
    // would lose it: nothing of it is taken, but a port record keeps its place, so
    // the records after it still go to their own ports.
    int ignoreWrite = -1;
};

// What the device wants sent after a message: bytes, a delay before them and a
// pause inside them.
struct TAnswer {
    uint8_t code = 0;
    std::vector<uint8_t> bytes;
    int delayMs = 0;
    int pauseAfter = -1;
    int pauseMs = 0;
};

class TVarnoDevice {
public:
    TVarnoDevice();

    TImage& Image() { return m_image; }
    const TImage& Image() const { return m_image; }
    void SetFirmware(int major, int minor);
    void SetPortCount(int ports);
    int PortCount() const { return m_image[2]; }
    TFaults& Faults() { return m_faults; }

    bool LoadParameterFile(const std::string& path, std::string* error = nullptr);
    bool SaveParameterFile(const std::string& path) const;

    // One received line byte; `nowMs` is a monotonic time used to drop a message
    // left unfinished for too long.
    std::optional<TAnswer> Feed(uint8_t byte, int64_t nowMs);

    // Charge units accrue per port at different rates: tick k adds one unit to
    // port p when k is a multiple of p.
    void ChargeTick();

    uint16_t Units(int port) const;
    // Count of write messages (9, 7, 12, 5) taken into the configuration.
    int AppliedWrites() const { return m_appliedWrites; }
    int IgnoredBytes() const { return m_ignoredBytes; }
    // What the device did, for a human watching the simulator.
    std::function<void(const std::string&)> OnEvent;

    static constexpr int64_t MessageGapMs = 2000;

private:
    std::optional<TAnswer> Dispatch();
    void Resync();

    TImage m_image;
    TFaults m_faults;
    std::vector<uint8_t> m_group;
    std::vector<uint8_t> m_message;
    int64_t m_lastByteMs = 0;
    int m_portRecords = 0;
    int m_appliedWrites = 0;
    int m_writeMessages = 0; // every write message received, taken or lost
    int m_ignoredBytes = 0;
    uint64_t m_ticks = 0;
    uint32_t m_noise = 0x1234567;
    void Note(const std::string& text) {
        if (OnEvent)
            OnEvent(text);
    }
};

} // namespace varnosim
