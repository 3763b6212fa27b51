#include "charges/ChargeHistory.h"

#include "charges/ChargeLog.h"
#include "platform/UserFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace charges {
namespace {

constexpr qsizetype kReadChunk = 1 << 17; // read into what the cache holds
constexpr qsizetype kTailKept = kRowChars + 2;

// The three lines the log starts with, without line ends.
const std::array<QByteArray, 3>& HeaderLines() {
    static const std::array<QByteArray, 3> lines = [] {
        const QList<QByteArray> parts = LogHeader().split('\n');
        std::array<QByteArray, 3> out;
        for (int i = 0; i < 3; ++i)
            out[i] = parts.value(i).chopped(1); // without its CR
        return out;
    }();
    return lines;
}

unsigned Digit(char c) {
    return unsigned(static_cast<unsigned char>(c)) - unsigned('0');
}

// Two digits at p, or -1.
int TwoDigits(const char* p) {
    const unsigned a = Digit(p[0]), b = Digit(p[1]);
    return a <= 9 && b <= 9 ? int(a * 10 + b) : -1;
}

// The date "dd.MM.yyyy" at p as a Julian day, or -1.
qint64 NewDate(const char* p, RowDateCache& cache) {
    if (p[2] != '.' || p[5] != '.')
        return -1;
    const int day = TwoDigits(p), month = TwoDigits(p + 3);
    const int hi = TwoDigits(p + 6), lo = TwoDigits(p + 8);
    if (day < 0 || month < 0 || hi < 0 || lo < 0)
        return -1;
    const QDate date(hi * 100 + lo, month, day);
    if (!date.isValid())
        return -1;
    std::memcpy(cache.text, p, sizeof cache.text);
    cache.day = date.toJulianDay();
    return cache.day;
}

// The rows of a day all carry its date, so only a new one is checked.
[[gnu::always_inline]] inline qint64 DateAt(const char* p, RowDateCache& cache) {
    if (cache.day >= 0 && std::memcmp(p, cache.text, sizeof cache.text) == 0)
        return cache.day;
    return NewDate(p, cache);
}

// "HH:mm" at p.
bool TimeAt(const char* p) {
    const int hour = TwoDigits(p), minute = TwoDigits(p + 3);
    return hour >= 0 && hour <= 23 && p[2] == ':' && minute >= 0 && minute <= 59;
}

#if defined(__x86_64__)

// One bit for each of the 92 columns.
struct Columns {
    quint64 lo = 0, hi = 0; // columns 0..63, 64..91
    void Set(int i) { (i < 64 ? lo : hi) |= quint64(1) << (i % 64); }
};

// What each of the 92 columns may hold: a fixed character, a digit, or (in the
// number fields) a blank or a digit. `expected` holds the fixed characters, a
// blank in the number fields and a digit elsewhere, so one comparison with it and
// one digit test cover every column.
struct RowShape {
    char expected[kRowChars] = {};
    char digitOk[kRowChars] = {};
    char nibble[kRowChars] = {}; // 0x0F where a field's digit may stand
    Columns inner;               // field columns after a field's first
    Columns last;                // each field's last column
    RowShape() {
        const QByteArray shape = "| 00.00.0000 00:00 |" + QByteArray("~~~~~~ |").repeated(9);
        for (int i = 0; i < kRowChars; ++i) {
            const char c = shape[i];
            expected[i] = c == '~' ? ' ' : c;
            digitOk[i] = c == '0' || c == '~' ? char(0xFF) : 0;
            nibble[i] = c == '~' ? 0x0F : 0;
            if (c == '~' && shape[i - 1] == '~')
                inner.Set(i);
            if (c == '~' && shape[i + 1] != '~')
                last.Set(i);
        }
    }
};

const RowShape kShape;

__attribute__((target("avx2"))) __m256i Load32(const char* at) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

// Sixteen columns at `at` from a field's " |" on, as four-digit values: the blanks
// and the bars read as leading zeros.
__attribute__((target("avx2"))) __m256i FourDigits(const char* p, int at, const char* nibble) {
    const __m256i x = _mm256_and_si256(Load32(p + at), Load32(nibble + at));
    const __m256i pairs = _mm256_add_epi16(
        _mm256_mullo_epi16(_mm256_and_si256(x, _mm256_set1_epi16(0x00FF)), _mm256_set1_epi16(10)),
        _mm256_srli_epi16(x, 8));
    return _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00010064));
}

// The row checked and read 32 columns at a time: this runs for each of a million
// rows, and the plain version's byte loop costs more than reading the file.
__attribute__((target("avx2"), always_inline)) inline bool
RowValuesWide(const char* p, RowDateCache& cache, qint64& day, __m256i& values) {
    const __m256i zero = _mm256_set1_epi8('0'), nine = _mm256_set1_epi8(9);
    quint64 bad = 0, digits[3] = {};
    static constexpr int kAt[3] = {0, 32, kRowChars - 32};
    for (int n = 0; n < 3; ++n) {
        const __m256i c = Load32(p + kAt[n]);
        const __m256i d = _mm256_sub_epi8(c, zero);
        const __m256i isDigit = _mm256_cmpeq_epi8(_mm256_min_epu8(d, nine), d);
        const __m256i ok =
            _mm256_or_si256(_mm256_cmpeq_epi8(c, Load32(kShape.expected + kAt[n])),
                            _mm256_and_si256(isDigit, Load32(kShape.digitOk + kAt[n])));
        bad |= ~quint64(unsigned(_mm256_movemask_epi8(ok))) & 0xFFFFFFFFu;
        digits[n] = unsigned(_mm256_movemask_epi8(isDigit));
    }
    // Within a field no blank after a digit, and its last column a digit.
    const quint64 lo = digits[0] | digits[1] << 32, hi = digits[2] >> 4; // columns 0..63, 64..91
    const quint64 afterLo = lo << 1, afterHi = hi << 1 | lo >> 63;
    if (bad || (afterLo & ~lo & kShape.inner.lo) || (afterHi & ~hi & kShape.inner.hi) ||
        (lo & kShape.last.lo) != kShape.last.lo || (hi & kShape.last.hi) != kShape.last.hi)
        return false;
    // The digits are known to be digits: the hour up to 23, the minutes up to 59.
    if ((p[13] - '0') * 10 + (p[14] - '0') > 23 || p[16] > '5')
        return false;
    day = DateAt(p + 2, cache);
    if (day < 0)
        return false;
    // The counters: each field with the " |" before it is eight columns, read as
    // eight digits. Packing works within each half, so they come out as 0 1 4 5 2 3 6 7.
    const __m256i mixed = _mm256_madd_epi16(
        _mm256_packs_epi32(FourDigits(p, 18, kShape.nibble), FourDigits(p, 50, kShape.nibble)),
        _mm256_set1_epi32(0x00012710));
    values = _mm256_permute4x64_epi64(mixed, 0xD8);
    return !_mm256_movemask_epi8(_mm256_cmpgt_epi32(values, _mm256_set1_epi32(65535)));
}

__attribute__((target("avx2"))) bool RowAtWide(const char* p, RowDateCache& cache, qint64& day,
                                               Counters& counters) {
    __m256i values;
    if (!RowValuesWide(p, cache, day, values))
        return false;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(counters.data()), values);
    return true;
}

// Whether this processor has the 32-column instructions, asked once. This runs
// among the static constructors, before the compiler's own one has looked.
const bool kWide = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

#endif

} // namespace

Units Usage(const Counters& before, const Counters& after) {
    Units used{};
    for (int i = 0; i < kHistoryPorts; ++i)
        used[size_t(i)] = UsageOf(before[size_t(i)], after[size_t(i)]);
    return used;
}

bool RowAtPlain(const char* p, RowDateCache& cache, qint64& day, Counters& counters) {
    if (p[0] != '|' || p[1] != ' ' || p[12] != ' ' || p[18] != ' ' || p[19] != '|')
        return false;
    day = DateAt(p + 2, cache);
    if (day < 0 || !TimeAt(p + 13))
        return false;
    // Eight counters and the sum, each blanks then at least one digit in six
    // columns, then " |".
    for (int k = 0; k <= kHistoryPorts; ++k) {
        const char* f = p + 20 + 8 * k;
        int i = 0;
        while (i < 6 && f[i] == ' ')
            ++i;
        if (i == 6 || f[6] != ' ' || f[7] != '|')
            return false;
        int value = 0;
        for (; i < 6; ++i) {
            if (Digit(f[i]) > 9)
                return false;
            value = value * 10 + int(Digit(f[i]));
        }
        if (k < kHistoryPorts) {
            if (value > 65535)
                return false;
            counters[size_t(k)] = value;
        }
    }
    return true;
}

inline bool RowAtFast(const char* p, RowDateCache& cache, qint64& day, Counters& counters) {
#if defined(__x86_64__)
    return kWide ? RowAtWide(p, cache, day, counters) : RowAtPlain(p, cache, day, counters);
#else
    return RowAtPlain(p, cache, day, counters);
#endif
}

bool RowAt(const char* p, RowDateCache& cache, qint64& day, Counters& counters) {
    return RowAtFast(p, cache, day, counters);
}

std::optional<HistoryRow> ParseHistoryRow(QByteArrayView line) {
    if (line.size() != kRowChars)
        return std::nullopt;
    RowDateCache cache;
    qint64 day = 0;
    HistoryRow row;
    if (!RowAtPlain(line.data(), cache, day, row.counters))
        return std::nullopt;
    row.date = QDate::fromJulianDay(day);
    return row;
}

void THistory::AddRow(qint64 day, const Counters& counters) {
    AddDay(day, m_last ? Usage(*m_last, counters) : Units{}, 1);
    m_last = counters;
}

void THistory::AddDay(qint64 day, const Units& units, qint64 rows) {
    m_rows += rows;
    if (day != m_bucket.key || !m_bucket.day) {
        m_bucket.day = &m_days[day];
        m_bucket.key = day;
    }
    Day& bucket = *m_bucket.day;
    bucket.rows += rows;
    for (int i = 0; i < kHistoryPorts; ++i)
        bucket.units[size_t(i)] += units[size_t(i)];
}

#if defined(__x86_64__)
namespace {
__attribute__((target("avx2"))) Units UnitsOf(__m256i lo, __m256i hi) {
    Units units;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(units.data()), lo);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(units.data() + 4), hi);
    return units;
}
} // namespace

// The rows of a day are added up in registers and handed over once the day changes.
__attribute__((target("avx2"))) const char* THistory::TakeRowsWide(THistory& h, const char* p,
                                                                   const char* end) {
    const __m256i none = _mm256_setzero_si256();
    bool haveLast = h.m_last.has_value();
    __m256i last =
        haveLast ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h.m_last->data())) : none;
    __m256i lo = none, hi = none; // units of ports 21..24 and 25..28 on `day`
    qint64 day = -1, rows = 0;
    while (end - p >= kRowChars + 2 && p[kRowChars] == '\r' && p[kRowChars + 1] == '\n') {
        qint64 rowDay = 0;
        __m256i values;
        if (!RowValuesWide(p, h.m_date, rowDay, values))
            break;
        if (rowDay != day) {
            if (rows > 0)
                h.AddDay(day, UnitsOf(lo, hi), rows);
            day = rowDay;
            lo = hi = none;
            rows = 0;
        }
        if (haveLast) {
            // The difference, or the new counter where the counter fell.
            const __m256i fell = _mm256_cmpgt_epi32(last, values);
            const __m256i used = _mm256_blendv_epi8(_mm256_sub_epi32(values, last), values, fell);
            lo = _mm256_add_epi64(lo, _mm256_cvtepi32_epi64(_mm256_castsi256_si128(used)));
            hi = _mm256_add_epi64(hi, _mm256_cvtepi32_epi64(_mm256_extracti128_si256(used, 1)));
        }
        last = values;
        haveLast = true;
        ++rows;
        ++h.m_lines;
        p += kRowChars + 2;
    }
    if (rows > 0) {
        h.AddDay(day, UnitsOf(lo, hi), rows);
        Counters counters;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(counters.data()), last);
        h.m_last = counters;
    }
    return p;
}
#endif

const char* THistory::TakeRows(const char* p, const char* end) {
#if defined(__x86_64__)
    if (kWide)
        return TakeRowsWide(*this, p, end);
#endif
    while (end - p >= kRowChars + 2 && p[kRowChars] == '\r' && p[kRowChars + 1] == '\n') {
        qint64 day = 0;
        Counters counters{};
        if (!RowAtPlain(p, m_date, day, counters))
            break;
        ++m_lines;
        AddRow(day, counters);
        p += kRowChars + 2;
    }
    return p;
}

void THistory::TakeOther(const char* p, qsizetype n, bool overlong) {
    if (!overlong && m_lines <= 3 && QByteArrayView(p, n) == HeaderLines()[size_t(m_lines - 1)])
        return;
    ++m_skipped;
    if (m_firstSkipped == 0)
        m_firstSkipped = m_lines;
}

void THistory::TakeLine(const char* p, qsizetype n, bool overlong) {
    ++m_lines;
    if (!overlong && n > 0 && p[n - 1] == '\r')
        --n;
    qint64 day = 0;
    Counters counters{};
    if (!overlong && n == kRowChars && RowAtFast(p, m_date, day, counters))
        AddRow(day, counters);
    else
        TakeOther(p, n, overlong);
}

void THistory::Feed(QByteArrayView bytes) {
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    if (p == end)
        return;
    if (!m_carry.isEmpty() || m_overlong) {
        const auto* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* stop = nl ? nl : end;
        if (!m_overlong) {
            if (m_carry.size() + (stop - p) > kTailKept) {
                m_overlong = true;
                m_carry.clear();
            } else {
                m_carry.append(p, stop - p);
            }
        }
        if (!nl)
            return;
        TakeLine(m_carry.constData(), m_carry.size(), m_overlong);
        m_carry.clear();
        m_overlong = false;
        p = nl + 1;
    }
    while (p < end) {
        // Nearly every line is a whole row with CR LF; take it without a search.
        if (end - p >= kRowChars + 2 && p[kRowChars] == '\r' && p[kRowChars + 1] == '\n') {
            if (const char* q = TakeRows(p, end); q != p) {
                p = q;
                continue;
            }
        }
        const auto* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        if (!nl) {
            if (end - p > kTailKept)
                m_overlong = true;
            else
                m_carry = QByteArray(p, end - p);
            return;
        }
        TakeLine(p, nl - p, false);
        p = nl + 1;
    }
}

void THistory::Finish() {
    if (m_carry.isEmpty() && !m_overlong)
        return;
    TakeLine(m_carry.constData(), m_carry.size(), m_overlong);
    m_carry.clear();
    m_overlong = false;
}

namespace {

// Reads from `fd` at its position to the end into `history`; false on a read error.
bool FeedFrom(int fd, THistory& history, qint64& offset, QByteArray& tail) {
    QByteArray buffer(kReadChunk, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), size_t(buffer.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        history.Feed(QByteArrayView(buffer.constData(), n));
        offset += n;
        if (n >= kTailKept) {
            tail = QByteArray(buffer.constData() + n - kTailKept, kTailKept);
        } else {
            tail.append(buffer.constData(), n);
            tail = tail.right(kTailKept);
        }
    }
}

int OpenForReading(const QString& path) {
    // A FIFO in the log's place is refused at once rather than waited for.
    int error = 0;
    const int fd = platform::OpenRegular(path, O_RDONLY, &error);
    if (fd >= 0)
        (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

} // namespace

std::optional<THistory> ReadHistory(const QString& path) {
    const int fd = OpenForReading(path);
    if (fd < 0)
        return std::nullopt;
    THistory history;
    qint64 offset = 0;
    QByteArray tail;
    const bool ok = FeedFrom(fd, history, offset, tail);
    ::close(fd);
    if (!ok)
        return std::nullopt;
    history.Finish();
    return history;
}

void TLogFollower::Reset() {
    m_history = THistory();
    m_offset = 0;
    m_tail.clear();
}

bool TLogFollower::Update() {
    const int fd = OpenForReading(m_path);
    if (fd < 0) {
        Reset();
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        Reset();
        return false;
    }
    bool same = quint64(info.st_dev) == m_device && quint64(info.st_ino) == m_inode &&
                info.st_size >= m_offset;
    if (same && !m_tail.isEmpty()) {
        // A log edited by hand keeps its inode and may keep its size; the bytes
        // just before the point already read tell most rewrites apart.
        QByteArray check(m_tail.size(), Qt::Uninitialized);
        same = ::pread(fd, check.data(), size_t(check.size()), m_offset - m_tail.size()) ==
                   check.size() &&
               check == m_tail;
    }
    if (!same) {
        Reset();
        m_device = quint64(info.st_dev);
        m_inode = quint64(info.st_ino);
    }
    bool ok = ::lseek(fd, m_offset, SEEK_SET) == m_offset;
    ok = ok && FeedFrom(fd, m_history, m_offset, m_tail);
    ::close(fd);
    if (!ok)
        Reset();
    return ok;
}

THistory TLogFollower::Snapshot() const {
    THistory copy = m_history;
    copy.Finish();
    return copy;
}

} // namespace charges
