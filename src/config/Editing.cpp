#include "config/Editing.h"

#include <climits>

namespace config {

MsnEntry TakeMsnNumber(const QString& text) {
    // A blank ends the number, and the image holds ten positions: what the label
    // shows is exactly what goes to the exchange.
    QString s = text.left(14);
    if (const qsizetype space = s.indexOf(u' '); space >= 0)
        s.truncate(space);
    s.truncate(kMsnPositions);
    MsnEntry e;
    e.shown = s;
    std::array<std::uint8_t, kMsnPositions> nibbles;
    nibbles.fill(15);
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        // Only digits reach here; anything else counts as an empty place.
        nibbles[std::size_t(i)] =
            c.isDigit() && c.unicode() < 128 ? std::uint8_t(c.unicode() - u'0') : 15;
    }
    for (std::size_t k = 0; k < e.bytes.size(); ++k)
        e.bytes[k] = std::uint8_t(nibbles[2 * k] + 16 * nibbles[2 * k + 1]);
    return e;
}

std::optional<long long> ParseWholeNumber(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    int base = 10;
    if (i < text.size() && text[i] == u'$') {
        base = 16;
        ++i;
    }
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0)
            break;
        if (value > (LLONG_MAX - digit) / base)
            return std::nullopt;
        value = value * base + digit;
    }
    return negative ? -value : value;
}

} // namespace config
