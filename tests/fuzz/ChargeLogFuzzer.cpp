// A charge log of any content: its last line, found in a bounded tail of the file,
// must be the one a plain whole-file reading finds (CR and LF both end a line,
// blank lines and pieces of cut rows are passed over); its row parse must stay within the columns'
// digits.
#include "charges/ChargeLog.h"
#include "fuzz/FuzzSupport.h"

#include <cstdint>

namespace {

// The last line that is neither blank nor a piece of a row: shorter than a row and
// the file's last without a line end, or beginning like a row.
QByteArray LastLineOfWhole(const QByteArray& all) {
    const QList<QByteArray> lines = QByteArray(all).replace('\r', '\n').split('\n');
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const QByteArray& line = lines[i];
        if (QByteArray(line).replace(' ', "").replace('\t', "").isEmpty())
            continue;
        const bool piece =
            line.size() < 92 && (i == lines.size() - 1 || line == "|" || line.startsWith("| "));
        if (!piece)
            return line.left(100);
    }
    return {};
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
    // The largest tail holds these inputs whole.
    FUZZ_CHECK(bytes.size() > 16384 || *last == LastLineOfWhole(bytes));
    // Taken as a tail of a longer file, it answers only when the line starts in it.
    if (const auto inTail = charges::LastLineOfTail(bytes, false))
        FUZZ_CHECK(*inTail == LastLineOfWhole(bytes));
    CheckRow(charges::ParseRow(*last));
    // Hand-edited rows may be any bytes and any length.
    CheckRow(charges::ParseRow(bytes));
    return 0;
}
