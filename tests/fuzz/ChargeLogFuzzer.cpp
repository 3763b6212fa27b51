// A charge log of any content: its last line, found by reading the file's tail
// in chunks, must be the one a plain whole-file reading finds; its row parse
// must stay within the columns' digits.
#include "charges/ChargeLog.h"
#include "fuzz/FuzzSupport.h"

#include <cstdint>

namespace {

QByteArray LastLineOfWhole(QByteArray all) {
    while (!all.isEmpty() && (all.back() == '\n' || all.back() == '\r'))
        all.chop(1);
    QByteArray line = all.mid(all.lastIndexOf('\n') + 1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line.left(100);
}

void CheckRow(const charges::LoggedRow& row) {
    // Five digit columns a port, six for the sum.
    for (const int units : row.units)
        FUZZ_CHECK(units >= 0 && units <= 99999);
    FUZZ_CHECK(row.sum >= 0 && row.sum <= 999999);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = fuzz::ScratchPath();
    fuzz::WriteScratch(path, bytes);

    const std::optional<QByteArray> last = charges::ReadLastLine(path);
    FUZZ_CHECK(last.has_value());
    FUZZ_CHECK(*last == LastLineOfWhole(bytes));
    CheckRow(charges::ParseRow(*last));
    // Hand-edited rows may be any bytes and any length.
    CheckRow(charges::ParseRow(bytes));
    return 0;
}
