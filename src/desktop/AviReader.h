#pragma once

// Reader for silent RIFF AVI clips with one 8-bit palette video stream,
// uncompressed (BI_RGB) or run-length encoded (BI_RLE8). Every input is
// treated as untrusted: anything inconsistent gives no clip.

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace avi {

struct TClip {
    int width = 0;
    int height = 0;
    std::uint32_t framePeriodUs = 0;
    // 0xAARRGGBB; entries the file leaves out are opaque black.
    std::array<std::uint32_t, 256> palette{};
    // One palette index per pixel, rows top to bottom, width bytes a row.
    std::vector<std::vector<std::uint8_t>> frames;

    int frameCount() const { return static_cast<int>(frames.size()); }
};

// Limits that keep a hostile file from taking the program's memory.
inline constexpr int kMaxSide = 2048;
inline constexpr qsizetype kMaxFileBytes = 64 * 1024 * 1024;
inline constexpr std::uint64_t kMaxDecodedBytes = 64ull * 1024 * 1024;

std::optional<TClip> ReadClip(const QByteArray& file);
// A Qt resource path (":/...") works too.
std::optional<TClip> ReadClipFile(const QString& path);

// Decodes one BI_RLE8 frame onto `pixels` (bottom-up stream, top-down buffer),
// leaving pixels the stream skips as they were. False when the stream is
// malformed or leaves the frame.
bool DecodeRle8(const std::uint8_t* data, std::size_t size, int width, int height,
                std::vector<std::uint8_t>& pixels);

} // namespace avi
