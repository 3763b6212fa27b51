// Packed decimal fields: decoded text must encode back to the same text, and
// encoding any text must keep exactly its encodable characters, in order.
#include "config/ConfigImage.h"
#include "fuzz/FuzzSupport.h"

#include <cstdint>
#include <vector>

using namespace config;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte sizes the field (the device's are 5 and 10 bytes); the rest
    // is the field's bytes and, read as Latin-1, a text to encode.
    const std::size_t fieldSize = data[0] % 17;
    const std::span<const std::uint8_t> rest(data + 1, size - 1);

    std::vector<std::uint8_t> field(fieldSize, 0xFF);
    std::copy_n(rest.begin(), std::min(fieldSize, rest.size()), field.begin());
    const QString text = DecodePacked(field);
    FUZZ_CHECK(text.size() <= qsizetype(2 * fieldSize));

    std::vector<std::uint8_t> again(fieldSize, 0);
    EncodePacked(again, text);
    FUZZ_CHECK(DecodePacked(again) == text);

    const QString input =
        QString::fromLatin1(reinterpret_cast<const char*>(rest.data()), qsizetype(rest.size()));
    QString expected;
    for (const QChar c : input)
        if (c >= u'0' && c <= u'>' && expected.size() < qsizetype(2 * fieldSize))
            expected.append(c);
    std::vector<std::uint8_t> encoded(fieldSize, 0);
    EncodePacked(encoded, input);
    FUZZ_CHECK(DecodePacked(encoded) == expected);
    return 0;
}
