// Any bytes as an AVI file, and the same bytes as one RLE8 frame of a small picture.
#include "desktop/AviReader.h"
#include "fuzz/FuzzSupport.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto clip =
        avi::ReadClip(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (clip) {
        FUZZ_CHECK(clip->width >= 1 && clip->width <= avi::kMaxSide);
        FUZZ_CHECK(clip->height >= 1 && clip->height <= avi::kMaxSide);
        FUZZ_CHECK(clip->frameCount() > 0);
        for (const auto& frame : clip->frames)
            FUZZ_CHECK(frame.size() == std::size_t(clip->width) * std::size_t(clip->height));
    }

    if (size < 2)
        return 0;
    // Small sides keep the stream long compared with the picture, so it can leave it.
    const int width = data[0] % 40 + 1, height = data[1] % 40 + 1;
    std::vector<std::uint8_t> pixels(std::size_t(width) * std::size_t(height), 0xAB);
    avi::DecodeRle8(data + 2, size - 2, width, height, pixels);
    FUZZ_CHECK(pixels.size() == std::size_t(width) * std::size_t(height));
    return 0;
}
