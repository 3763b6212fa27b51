#include "desktop/AviReader.h"

#include <QFile>

#include <algorithm>
#include <cstring>

namespace avi {
namespace {

std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
std::uint16_t Le16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}
bool Is(const std::uint8_t* p, const char (&id)[5]) {
    return std::memcmp(p, id, 4) == 0;
}

struct TSpan {
    const std::uint8_t* p = nullptr;
    std::size_t n = 0;
};

// Calls f(id, body) for each chunk of a chunk list. A chunk reaching past its
// parent makes the whole list invalid; a few trailing bytes too short for a
// chunk header are only padding.
template <class F> bool ForEachChunk(TSpan list, F&& f) {
    std::size_t pos = 0;
    while (list.n - pos >= 8) {
        const std::uint8_t* head = list.p + pos;
        const std::uint32_t size = Le32(head + 4);
        if (size > list.n - pos - 8)
            return false;
        if (!f(head, TSpan{head + 8, size}))
            return false;
        pos += 8 + std::size_t(size) + (size & 1u);
        pos = std::min(pos, list.n);
    }
    return true;
}

bool IsList(const std::uint8_t* head, TSpan body, const char (&type)[5]) {
    return Is(head, "LIST") && body.n >= 4 && Is(body.p, type);
}
TSpan ListItems(TSpan body) {
    return {body.p + 4, body.n - 4};
}

struct TParse {
    std::uint32_t usPerFrame = 0;
    int streams = 0;
    int videoStream = -1;
    bool currentIsVideo = false;
    std::uint32_t scale = 0, rate = 0, length = 0;
    bool haveFormat = false;
    std::int32_t width = 0, height = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::array<std::uint32_t, 256> palette{};
    bool inMovi = false;
    std::vector<TSpan> frames;
};

constexpr std::uint32_t kBiRgb = 0, kBiRle8 = 1;

bool ReadFormat(TParse& s, TSpan b) {
    if (b.n < 40)
        return false;
    const std::uint32_t headerSize = Le32(b.p);
    if (headerSize < 40 || headerSize > b.n)
        return false;
    s.width = std::int32_t(Le32(b.p + 4));
    s.height = std::int32_t(Le32(b.p + 8));
    s.bitCount = Le16(b.p + 14);
    s.compression = Le32(b.p + 16);
    const std::uint32_t used = Le32(b.p + 32);
    const std::uint32_t colours = used ? used : 256;
    if (colours > 256 || (b.n - headerSize) / 4 < colours)
        return false;
    s.palette.fill(0xff000000u);
    for (std::uint32_t i = 0; i < colours; ++i) {
        const std::uint8_t* q = b.p + headerSize + 4 * i; // blue, green, red, unused
        s.palette[i] = 0xff000000u | std::uint32_t(q[2]) << 16 | std::uint32_t(q[1]) << 8 | q[0];
    }
    s.haveFormat = true;
    return true;
}

bool ReadStreamList(TParse& s, TSpan items) {
    s.currentIsVideo = false;
    const int number = s.streams++;
    return ForEachChunk(items, [&](const std::uint8_t* head, TSpan b) {
        if (Is(head, "strh")) {
            if (b.n < 36)
                return false;
            if (Is(b.p, "vids") && s.videoStream < 0) {
                s.videoStream = number;
                s.currentIsVideo = true;
                s.scale = Le32(b.p + 20);
                s.rate = Le32(b.p + 24);
                s.length = Le32(b.p + 32);
            }
        } else if (Is(head, "strf") && s.currentIsVideo) {
            return ReadFormat(s, b);
        }
        return true;
    });
}

bool ReadMovie(TParse& s, TSpan items, int depth = 0) {
    if (s.videoStream < 0 || s.videoStream > 99)
        return false; // frames before their stream header cannot be placed
    std::uint8_t tag[2];
    tag[0] = std::uint8_t('0' + s.videoStream / 10);
    tag[1] = std::uint8_t('0' + s.videoStream % 10);
    return ForEachChunk(items, [&](const std::uint8_t* head, TSpan b) {
        if (IsList(head, b, "rec ")) // nested once at most, so no file can exhaust the stack
            return depth == 0 && ReadMovie(s, ListItems(b), depth + 1);
        if (head[0] == tag[0] && head[1] == tag[1] &&
            (std::memcmp(head + 2, "db", 2) == 0 || std::memcmp(head + 2, "dc", 2) == 0))
            s.frames.push_back(b);
        return true;
    });
}

bool ReadHeaderList(TParse& s, TSpan items) {
    return ForEachChunk(items, [&](const std::uint8_t* head, TSpan b) {
        if (Is(head, "avih")) {
            if (b.n < 40)
                return false;
            s.usPerFrame = Le32(b.p);
        } else if (IsList(head, b, "strl")) {
            return ReadStreamList(s, ListItems(b));
        }
        return true;
    });
}

bool DecodeUncompressed(TSpan b, int width, int height, bool bottomUp,
                        std::vector<std::uint8_t>& pixels) {
    const std::size_t stride = (std::size_t(width) + 3) & ~std::size_t(3);
    if (b.n < stride * std::size_t(height))
        return false;
    for (int row = 0; row < height; ++row) {
        const int target = bottomUp ? height - 1 - row : row;
        std::memcpy(pixels.data() + std::size_t(target) * width, b.p + stride * row, width);
    }
    return true;
}

} // namespace

bool DecodeRle8(const std::uint8_t* data, std::size_t size, int width, int height,
                std::vector<std::uint8_t>& pixels) {
    if (width <= 0 || height <= 0 || pixels.size() != std::size_t(width) * std::size_t(height))
        return false;
    std::size_t i = 0;
    int x = 0, y = 0; // y counts rows from the bottom
    auto at = [&](int px) { return pixels.data() + std::size_t(height - 1 - y) * width + px; };
    while (i < size) {
        if (size - i < 2)
            return false;
        const int count = data[i], value = data[i + 1];
        i += 2;
        if (count > 0) {
            if (y >= height || count > width - x)
                return false;
            std::memset(at(x), value, count);
            x += count;
            continue;
        }
        switch (value) {
        case 0: // end of line
            if (y >= height)
                return false;
            x = 0;
            ++y;
            break;
        case 1: // end of bitmap
            return true;
        case 2: // delta
            if (size - i < 2)
                return false;
            x += data[i];
            y += data[i + 1];
            i += 2;
            if (x > width || y > height)
                return false;
            break;
        default: // literal pixels, padded to a 16-bit boundary
            if (size - i < std::size_t(value) || y >= height || value > width - x)
                return false;
            std::memcpy(at(x), data + i, value);
            x += value;
            i = std::min(size, i + value + (value & 1));
        }
    }
    return true; // a stream may end without its end-of-bitmap mark
}

std::optional<TClip> ReadClip(const QByteArray& file) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(file.constData());
    const std::size_t n = std::size_t(file.size());
    if (n < 12 || !Is(p, "RIFF") || !Is(p + 8, "AVI "))
        return std::nullopt;
    const std::uint32_t riffSize = Le32(p + 4);
    if (riffSize < 4 || riffSize > n - 8)
        return std::nullopt; // truncated

    TParse s;
    const bool ok =
        ForEachChunk(TSpan{p + 12, riffSize - 4u}, [&](const std::uint8_t* head, TSpan b) {
            if (IsList(head, b, "hdrl"))
                return ReadHeaderList(s, ListItems(b));
            if (IsList(head, b, "movi"))
                return ReadMovie(s, ListItems(b));
            return true;
        });
    if (!ok || !s.haveFormat || s.bitCount != 8 ||
        (s.compression != kBiRgb && s.compression != kBiRle8))
        return std::nullopt;
    const bool bottomUp = s.height > 0;
    if (s.compression == kBiRle8 && !bottomUp)
        return std::nullopt;
    const std::int64_t height = bottomUp ? std::int64_t(s.height) : -std::int64_t(s.height);
    if (s.width < 1 || s.width > kMaxSide || height < 1 || height > kMaxSide)
        return std::nullopt;
    if (s.frames.empty() || s.frames.size() != s.length)
        return std::nullopt;
    const std::uint64_t frameBytes = std::uint64_t(s.width) * std::uint64_t(height);
    if (frameBytes * s.frames.size() > kMaxDecodedBytes)
        return std::nullopt;

    std::uint64_t period = s.usPerFrame;
    if (period == 0 && s.scale > 0 && s.rate > 0)
        period = std::uint64_t(s.scale) * 1000000u / s.rate;
    if (period == 0 || period > 10'000'000u)
        return std::nullopt;

    TClip clip;
    clip.width = s.width;
    clip.height = int(height);
    clip.framePeriodUs = std::uint32_t(period);
    clip.palette = s.palette;
    clip.frames.reserve(s.frames.size());
    std::vector<std::uint8_t> picture(frameBytes, 0);
    for (const TSpan& b : s.frames) {
        // An empty chunk repeats the picture before it; RLE8 frames draw over it.
        if (b.n > 0) {
            const bool decoded =
                s.compression == kBiRle8
                    ? DecodeRle8(b.p, b.n, clip.width, clip.height, picture)
                    : DecodeUncompressed(b, clip.width, clip.height, bottomUp, picture);
            if (!decoded)
                return std::nullopt;
        }
        clip.frames.push_back(picture);
    }
    return clip;
}

std::optional<TClip> ReadClipFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxFileBytes)
        return std::nullopt;
    const QByteArray bytes = f.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes)
        return std::nullopt;
    return ReadClip(bytes);
}

} // namespace avi
