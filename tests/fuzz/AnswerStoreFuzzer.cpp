// Device answers of any length and content stored into the image, then decoded
// into the pages' texts and the per-port arrays.
#include "config/ConfigViews.h"
#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>

using namespace config;

namespace {

// Storing an answer must leave every byte outside its region alone.
void StoreChecked(ConfigImage& image, Region region, const std::vector<std::uint8_t>& answer) {
    const ConfigImage before = image;
    image.StoreAnswer(region, QByteArrayView(reinterpret_cast<const char*>(answer.data()),
                                             qsizetype(answer.size())));
    const RegionLayout l = LayoutOf(region);
    const auto a = before.Bytes();
    const auto b = image.Bytes();
    FUZZ_CHECK(std::equal(a.begin(), a.begin() + l.offset, b.begin()));
    FUZZ_CHECK(std::equal(a.begin() + l.offset + l.size, a.end(), b.begin() + l.offset + l.size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    // Lengths first (taken from the input's end), so a seed's front is its answers.
    const std::size_t lengths[3] = {in.ConsumeIntegralInRange<std::size_t>(0, 300),
                                    in.ConsumeIntegralInRange<std::size_t>(0, 300),
                                    in.ConsumeIntegralInRange<std::size_t>(0, 300)};
    const Region regions[3] = {Region::Basic, Region::Terminal, Region::Charge};

    ConfigImage image;
    for (int r = 0; r < 3; ++r)
        StoreChecked(image, regions[r], in.ConsumeBytes<std::uint8_t>(lengths[r]));

    DecodedArrays arrays;
    const BasicBlockView basic = DecodeBasicBlock(image, arrays);
    FUZZ_CHECK(arrays.PortCount == image.PortCountByte());
    FUZZ_CHECK(basic.UsedPorts >= 0 && basic.UsedPorts <= PortSlots);
    FUZZ_CHECK(PortSelectorEntries(100, basic) == basic.UsedPorts);

    const TerminalBlockView terminal = DecodeTerminalBlock(image, arrays);
    FUZZ_CHECK(terminal.DecodedPorts == basic.UsedPorts);
    for (int p = 1; p <= terminal.DecodedPorts; ++p) {
        const PortRowView& row = terminal.Ports[std::size_t(p - 1)];
        FUZZ_CHECK(row.Berechtigung.isEmpty() == (arrays.PermissionIndex[std::size_t(p - 1)] > 4));
        FUZZ_CHECK(row.Dienst.isEmpty() == (arrays.ServiceIndex[std::size_t(p - 1)] > 5));
    }
    // Ports beyond the used ones are never touched.
    for (int p = terminal.DecodedPorts + 1; p <= PortSlots; ++p)
        FUZZ_CHECK(terminal.Ports[std::size_t(p - 1)].Berechtigung.isNull());
    return 0;
}
