// Any bytes as a charge log read as a history: fed in pieces of any size it gives
// what it gives fed whole, and both are what reading it line by line with the plain
// row check gives. The fast row check agrees with the plain one wherever it looks.
#include "charges/ChargeHistory.h"
#include "charges/ChargeLog.h"
#include "fuzz/FuzzSupport.h"

#include <cstdint>
#include <map>

namespace {

using charges::Counters;
using charges::THistory;

struct Expected {
    std::map<qint64, THistory::Day> days;
    qint64 rows = 0, lines = 0, skipped = 0, firstSkipped = 0;
    std::optional<Counters> last;
};

Expected LineByLine(const QByteArray& bytes) {
    const QList<QByteArray> header = charges::LogHeader().split('\n');
    Expected e;
    QList<QByteArray> lines = bytes.split('\n');
    if (lines.back().isEmpty())
        lines.removeLast(); // the end of the last line, not a line
    for (QByteArray line : lines) {
        ++e.lines;
        const bool overlong = line.size() > charges::kRowChars + 2;
        if (!overlong && line.endsWith('\r'))
            line.chop(1);
        const auto row = overlong ? std::nullopt : charges::ParseHistoryRow(line);
        if (row) {
            ++e.rows;
            THistory::Day& day = e.days[row->date.toJulianDay()];
            ++day.rows;
            if (e.last) {
                const charges::Units used = charges::Usage(*e.last, row->counters);
                for (int i = 0; i < charges::kHistoryPorts; ++i)
                    day.units[size_t(i)] += used[size_t(i)];
            }
            e.last = row->counters;
            continue;
        }
        if (!overlong && e.lines <= 3 && line + '\r' == header[e.lines - 1])
            continue;
        ++e.skipped;
        if (e.firstSkipped == 0)
            e.firstSkipped = e.lines;
    }
    return e;
}

void Check(const THistory& h, const Expected& e) {
    FUZZ_CHECK(h.rows() == e.rows);
    FUZZ_CHECK(h.lines() == e.lines);
    FUZZ_CHECK(h.skipped() == e.skipped);
    FUZZ_CHECK(h.firstSkippedLine() == e.firstSkipped);
    FUZZ_CHECK(h.lastCounters() == e.last);
    FUZZ_CHECK(h.days().size() == e.days.size());
    for (const auto& [key, day] : e.days) {
        const auto it = h.days().find(key);
        FUZZ_CHECK(it != h.days().end());
        FUZZ_CHECK(it->second.rows == day.rows);
        FUZZ_CHECK(it->second.units == day.units);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const Expected expected = LineByLine(bytes);

    THistory whole;
    whole.Feed(bytes);
    whole.Finish();
    Check(whole, expected);

    // Pieces whose sizes come from the input itself.
    THistory pieces;
    qsizetype at = 0;
    for (qsizetype n = 0; at < bytes.size(); ++n) {
        const qsizetype step = 1 + static_cast<unsigned char>(bytes[n % bytes.size()]) % 131;
        const qsizetype len = std::min(step, bytes.size() - at);
        pieces.Feed(QByteArrayView(bytes).sliced(at, len));
        at += len;
    }
    pieces.Finish();
    Check(pieces, expected);

    // Every 92 bytes of the input, each with a fresh and with a carried date.
    charges::RowDateCache fastDates, plainDates;
    for (qsizetype i = 0; i + charges::kRowChars <= bytes.size(); ++i) {
        for (bool fresh : {true, false}) {
            charges::RowDateCache a, b;
            qint64 dayA = 0, dayB = 0;
            Counters ca{}, cb{};
            const bool fast =
                charges::RowAt(bytes.constData() + i, fresh ? a : fastDates, dayA, ca);
            const bool plain =
                charges::RowAtPlain(bytes.constData() + i, fresh ? b : plainDates, dayB, cb);
            FUZZ_CHECK(fast == plain);
            FUZZ_CHECK(!fast || (dayA == dayB && ca == cb));
        }
    }
    return 0;
}
