// A parameter file of any length and content loaded over an image whose charge
// block holds the device's counters.
#include "config/ParameterFile.h"
#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdint>

using namespace config;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path = fuzz::ScratchPath();
    fuzz::WriteScratch(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));

    ConfigImage image;
    auto bytes = image.Bytes();
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = std::uint8_t(i * 7 + 3);
    const ConfigImage before = image;

    const bool loaded = LoadParameterFile(path, image);
    FUZZ_CHECK(loaded == (size >= std::size_t(ConfigImage::Size)));
    if (!loaded) {
        FUZZ_CHECK(image == before);
        return 0;
    }
    // The configuration comes from the file; the counters stay the device's.
    const std::size_t charges = std::size_t(LayoutOf(Region::Charge).offset);
    FUZZ_CHECK(std::equal(data, data + charges, image.Bytes().begin()));
    FUZZ_CHECK(std::equal(before.Bytes().begin() + charges, before.Bytes().end(),
                          image.Bytes().begin() + charges));
    return 0;
}
