#include "config/ConfigDiff.h"

#include "config/ConfigViews.h"
#include "protocol/Commands.h"

#include <QStringList>
#include <algorithm>
#include <initializer_list>

namespace config {
namespace {

constexpr int BasicSent = device::BasicBlockMessageLength;      // offsets 0..106
constexpr int RecordSent = device::PortRecordMessageLength - 1; // record offsets 0..20
constexpr int FirstRecordAt = exchange::kTerminalOffset + port::FirstRecord;
constexpr int FirstPortNumber = exchange::kFirstPort;

int UsedPorts(const ConfigImage& image) {
    return std::clamp(int(image.PortCountByte()), 0, PortSlots);
}

int RecordAt(int p) {
    return FirstRecordAt + port::RecordSize * (p - 1);
}

QString Hex(std::uint8_t v) {
    return QStringLiteral("%1").arg(v, 2, 16, QChar(u'0')).toUpper();
}

QString Arrow(const QString& from, const QString& to) {
    return from + QStringLiteral(" → ") + to;
}

// A value of a name table: its name in quotes, or the raw value where the page shows
// nothing, so two different values never read alike.
QString NamedValue(const QString& name, int value) {
    return name.isEmpty() ? QStringLiteral("Wert %1").arg(value) : u'"' + name + u'"';
}

QString OrEmpty(const QString& digits) {
    return digits.isEmpty() ? QStringLiteral("(leer)") : digits;
}

QString OnOff(bool on) {
    return on ? QStringLiteral("ein") : QStringLiteral("aus");
}

// Names come from the settings file: no control characters reach a terminal.
QString Printable(QString text) {
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u'?';
    return text;
}

// What the "Rufumleitung" column shows for port p: the internal target port, or the
// external number (empty: no forwarding).
QString ForwardingText(const ConfigImage& image, int p) {
    const ConstPortRecord record = image.Port(p);
    const int target = record.ForwardingPort();
    return target >= FirstPortNumber && target < FirstPortNumber + UsedPorts(image)
               ? QString::number(target)
               : record.ForwardingNumberText();
}

class Comparison {
public:
    Comparison(const ConfigImage& before, const ConfigImage& after, const PortNames& names)
        : m_a(before), m_b(after), m_names(names) {}

    std::vector<ConfigChange> Run() {
        // Most comparisons are of equal configurations (each read against the last).
        bool equal = true;
        for (int o = 1; equal && o < FirstRecordAt + port::RecordSize * PortSlots; ++o)
            equal = !ComparedByte(m_a, m_b, o) || A(o) == B(o);
        if (equal)
            return {};
        DecodedArrays arraysA, arraysB;
        const BasicBlockView a = DecodeBasicBlock(m_a, arraysA);
        const BasicBlockView b = DecodeBasicBlock(m_b, arraysB);
        Named(ChangedField::Protocol, QStringLiteral("Protokoll"), basic::Protocol, a.Protokoll,
              b.Protokoll);
        Named(ChangedField::ConnectionType, QStringLiteral("Anschlußart"), basic::ConnectionType,
              a.Anschlussart, b.Anschlussart);
        Number(ChangedField::ExternalS0, QStringLiteral("Externe S0-Anschlüsse"),
               basic::ExternalS0);
        Number(ChangedField::InternalS0, QStringLiteral("Interne S0-Anschlüsse"),
               basic::InternalS0);
        Number(ChangedField::PortCount, QStringLiteral("a/b-Schnittstellen"), basic::PortCount);
        if (const auto d = Differing({basic::FirmwareMajor, basic::FirmwareMinor}); !d.empty())
            Add(ChangedField::Firmware, 0, -1,
                QStringLiteral("Firmware-Version: ") + Arrow(a.Firmware, b.Firmware), d);
        Named(ChangedField::MusicOnHold, QStringLiteral("Music on Hold"), basic::MusicOnHold,
              a.MusicOnHold, b.MusicOnHold);
        for (int m = 0; m < MsnSlots; ++m)
            Msn(m, a.MSN[std::size_t(m)], b.MSN[std::size_t(m)]);

        const int usedA = UsedPorts(m_a), usedB = UsedPorts(m_b);
        const int shared = std::min(usedA, usedB), either = std::max(usedA, usedB);
        for (int p = 1; p <= PortSlots; ++p) {
            if (p > shared && p <= either)
                Presence(p, p <= usedB);
            for (int m = 0; m < MsnSlots; ++m)
                Assignment(p, m, p <= either);
            if (p <= shared)
                PortRecord(p);
        }
        for (int offset = 1; offset < BasicSent; ++offset)
            if (!InterpretedBasicByte(offset))
                Other(0, QString(), offset);
        return std::move(m_changes);
    }

private:
    using Offsets = std::vector<std::uint16_t>;

    std::uint8_t A(int offset) const { return m_a.Bytes()[std::size_t(offset)]; }
    std::uint8_t B(int offset) const { return m_b.Bytes()[std::size_t(offset)]; }

    Offsets Differing(std::initializer_list<int> offsets) const {
        Offsets d;
        for (const int o : offsets)
            if (A(o) != B(o))
                d.push_back(std::uint16_t(o));
        return d;
    }
    Offsets DifferingRange(int from, int count) const {
        Offsets d;
        for (int o = from; o < from + count; ++o)
            if (A(o) != B(o))
                d.push_back(std::uint16_t(o));
        return d;
    }

    void Add(ChangedField field, int portNumber, int msn, QString text, Offsets bytes) {
        m_changes.push_back({field, portNumber, msn, std::move(text), std::move(bytes)});
    }

    QString PortName(int p) const {
        const QString name = Printable(m_names[std::size_t(p - 1)]);
        const QString number = QStringLiteral("Anschluß %1").arg(FirstPortNumber + p - 1);
        return name.isEmpty() ? number : number + QStringLiteral(" (") + name + u')';
    }

    // One line per byte of a field whose shown value is the same on both sides.
    void Unchanged(ChangedField field, int p, int msn, const QString& what, const Offsets& d) {
        for (const std::uint16_t o : d)
            Add(field, p ? FirstPortNumber + p - 1 : 0, msn,
                what + QStringLiteral(", Byte %1: ").arg(o) + Arrow(Hex(A(o)), Hex(B(o))), {o});
    }

    void Other(int p, const QString& prefix, int offset) {
        if (A(offset) == B(offset))
            return;
        Add(ChangedField::OtherByte, p ? FirstPortNumber + p - 1 : 0, -1,
            prefix + QStringLiteral("Byte %1: ").arg(offset) +
                Arrow(Hex(A(offset)), Hex(B(offset))),
            {std::uint16_t(offset)});
    }

    void Named(ChangedField field, const QString& caption, int offset, const QString& a,
               const QString& b) {
        if (A(offset) != B(offset))
            Add(field, 0, -1,
                caption + QStringLiteral(": ") +
                    Arrow(NamedValue(a, A(offset)), NamedValue(b, B(offset))),
                {std::uint16_t(offset)});
    }

    void Number(ChangedField field, const QString& caption, int offset) {
        if (A(offset) != B(offset))
            Add(field, 0, -1,
                caption + QStringLiteral(": ") +
                    Arrow(QString::number(A(offset)), QString::number(B(offset))),
                {std::uint16_t(offset)});
    }

    void Msn(int m, const QString& a, const QString& b) {
        const Offsets d =
            DifferingRange(basic::MsnNumbers + basic::MsnNumberSize * m, basic::MsnNumberSize);
        if (d.empty())
            return;
        const QString caption = QStringLiteral("MSN %1").arg(m);
        if (a != b)
            Add(ChangedField::MsnNumber, 0, m,
                caption + QStringLiteral(": ") + Arrow(OrEmpty(a), OrEmpty(b)), d);
        else
            Unchanged(ChangedField::MsnNumber, 0, m,
                      caption + QStringLiteral(" unverändert (") + OrEmpty(a) + u')', d);
    }

    void Assignment(int p, int m, bool present) {
        const int offset = basic::AssignmentMasks + m;
        const int bit = 1 << (p - 1);
        if (((A(offset) ^ B(offset)) & bit) == 0)
            return;
        QString text =
            PortName(p) + ((B(offset) & bit) ? QStringLiteral(" klingelt jetzt bei MSN %1")
                                             : QStringLiteral(" klingelt nicht mehr bei MSN %1"))
                              .arg(m);
        if (!present)
            text += QStringLiteral(" (Anschluß nicht vorhanden)");
        Add(ChangedField::Assignment, FirstPortNumber + p - 1, m, text, {std::uint16_t(offset)});
    }

    // A port that one side has and the other not: its record is no part of the
    // other configuration, so it is named as a whole.
    void Presence(int p, bool added) {
        QString text =
            PortName(p) + (added ? QStringLiteral(" hinzugekommen") : QStringLiteral(" entfallen"));
        if (added) {
            const ConstPortRecord r = m_b.Port(p);
            QStringList settings{QStringLiteral("Berechtigung ") +
                                     NamedValue(PermissionName(r.Permission()), r.Permission()),
                                 QStringLiteral("Dienst ") +
                                     NamedValue(ServiceName(r.Service()), r.Service())};
            if (const QString f = ForwardingText(m_b, p); !f.isEmpty())
                settings << QStringLiteral("Rufumleitung nach ") + f;
            if (r.Pulse())
                settings << QStringLiteral("Gebührenimpuls");
            if (r.OutsideLine())
                settings << QStringLiteral("Spontane Amtsholung");
            text += QStringLiteral(": ") + settings.join(QStringLiteral(", "));
        }
        Add(ChangedField::PortPresence, FirstPortNumber + p - 1, -1, text,
            {std::uint16_t(basic::PortCount)});
    }

    void PortRecord(int p) {
        const int at = RecordAt(p);
        const int number = FirstPortNumber + p - 1;
        const ConstPortRecord a = m_a.Port(p), b = m_b.Port(p);

        Offsets d = Differing({at + port::ForwardingPort});
        const Offsets digits =
            DifferingRange(at + port::ForwardingNumber, port::ForwardingNumberSize);
        d.insert(d.end(), digits.begin(), digits.end());
        const QString fa = ForwardingText(m_a, p), fb = ForwardingText(m_b, p);
        const QString from = QStringLiteral("Rufumleitung von %1").arg(number);
        if (fa != fb) {
            // Only the port count moved the target in or out of the ports present.
            if (d.empty())
                d.push_back(std::uint16_t(basic::PortCount));
            const QString text =
                fa.isEmpty()   ? from + QStringLiteral(" nach %1 eingeschaltet").arg(fb)
                : fb.isEmpty() ? from + QStringLiteral(" nach %1 ausgeschaltet").arg(fa)
                               : from + QStringLiteral(" nach %1 statt nach %2").arg(fb, fa);
            Add(ChangedField::Forwarding, number, -1, text, d);
        } else {
            Unchanged(ChangedField::Forwarding, p, -1,
                      from + QStringLiteral(" unverändert (") +
                          (fa.isEmpty() ? QStringLiteral("aus") : QStringLiteral("nach ") + fa) +
                          u')',
                      d);
        }

        const QString name = PortName(p) + QStringLiteral(": ");
        if (a.Permission() != b.Permission())
            Add(ChangedField::Permission, number, -1,
                name + QStringLiteral("Berechtigung ") +
                    Arrow(NamedValue(PermissionName(a.Permission()), a.Permission()),
                          NamedValue(PermissionName(b.Permission()), b.Permission())),
                {std::uint16_t(at + port::Permission)});
        if (a.Service() != b.Service())
            Add(ChangedField::Service, number, -1,
                name + QStringLiteral("Dienst ") +
                    Arrow(NamedValue(ServiceName(a.Service()), a.Service()),
                          NamedValue(ServiceName(b.Service()), b.Service())),
                {std::uint16_t(at + port::Service)});
        Flag(ChangedField::Pulse, p, name + QStringLiteral("Gebührenimpuls"), at + port::Pulse);
        Flag(ChangedField::OutsideLine, p, name + QStringLiteral("Spontane Amtsholung"),
             at + port::OutsideLine);
        for (int o = 0; o < RecordSent; ++o)
            if (!InterpretedRecordByte(o))
                Other(p, name, at + o);
    }

    // Exactly 1 is on: 0 and 2 both read as off, and that is said as such.
    void Flag(ChangedField field, int p, const QString& what, int offset) {
        if (A(offset) == B(offset))
            return;
        const bool a = A(offset) == 1, b = B(offset) == 1;
        if (a != b)
            Add(field, FirstPortNumber + p - 1, -1,
                what + (b ? QStringLiteral(" eingeschaltet") : QStringLiteral(" ausgeschaltet")),
                {std::uint16_t(offset)});
        else
            Unchanged(field, p, -1, what + QStringLiteral(" unverändert (") + OnOff(a) + u')',
                      {std::uint16_t(offset)});
    }

    static bool InterpretedBasicByte(int offset) {
        return (offset >= basic::ConnectionType && offset <= basic::FirmwareMinor) ||
               (offset >= basic::MsnNumbers &&
                offset < basic::MsnNumbers + basic::MsnNumberSize * MsnSlots) ||
               (offset >= basic::MusicOnHold && offset <= basic::ExternalS0) ||
               (offset >= basic::AssignmentMasks && offset < basic::AssignmentMasks + MsnSlots);
    }

    static bool InterpretedRecordByte(int o) {
        return o == port::Permission || o == port::Service || o == port::ForwardingPort ||
               o == port::Pulse || o == port::OutsideLine ||
               (o >= port::ForwardingNumber &&
                o < port::ForwardingNumber + port::ForwardingNumberSize);
    }

    const ConfigImage& m_a;
    const ConfigImage& m_b;
    const PortNames& m_names;
    std::vector<ConfigChange> m_changes;
};

} // namespace

bool ComparedByte(const ConfigImage& a, const ConfigImage& b, int offset) {
    if (offset >= 1 && offset < BasicSent)
        return true;
    const int within = offset - FirstRecordAt;
    if (within < 0)
        return false;
    const int p = within / port::RecordSize + 1;
    return p <= std::min(UsedPorts(a), UsedPorts(b)) && within % port::RecordSize < RecordSent;
}

ConfigImage ConfigurationOnly(const ConfigImage& image) {
    ConfigImage kept;
    const auto from = image.Bytes();
    const auto to = kept.Bytes();
    std::copy(from.begin() + 1, from.begin() + BasicSent, to.begin() + 1);
    for (int p = 1; p <= UsedPorts(image); ++p)
        std::copy_n(from.begin() + RecordAt(p), RecordSent, to.begin() + RecordAt(p));
    return kept;
}

std::vector<ConfigChange> CompareConfigurations(const ConfigImage& before, const ConfigImage& after,
                                                const PortNames& names) {
    return Comparison(before, after, names).Run();
}

QString ChangeSummary(const std::vector<ConfigChange>& changes) {
    if (changes.empty())
        return QStringLiteral("keine Änderung");
    const qsizetype more = qsizetype(changes.size()) - 1;
    if (more == 0)
        return changes.front().text;
    return changes.front().text + (more == 1
                                       ? QStringLiteral(" und 1 weitere Änderung")
                                       : QStringLiteral(" und %1 weitere Änderungen").arg(more));
}

} // namespace config
