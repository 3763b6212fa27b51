#include "config/ConfigDiff.h"

#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <set>

namespace {

using config::ConfigChange;
using config::ConfigImage;

constexpr int Record22 = 176; // image offset of port 22's record

// The configuration the write sends: basic bytes 1..106, and record bytes 0..20 of
// the ports both images have.
bool InConfiguration(const ConfigImage& a, const ConfigImage& b, int offset) {
    const int shared =
        std::min(std::min<int>(a.PortCountByte(), 8), std::min<int>(b.PortCountByte(), 8));
    if (offset >= 1 && offset <= 106)
        return true;
    const int within = offset - 152;
    return within >= 0 && within / 24 < shared && within % 24 <= 20;
}

// Eight ports, DSS1, firmware 1.93, MSN 3 = 0221, no forwarding, all "Vollamt"/"Telefon".
ConfigImage Base() {
    ConfigImage image;
    auto b = image.Bytes();
    b[1] = 1, b[2] = 8, b[3] = 1, b[4] = 1, b[5] = 93, b[58] = 1, b[59] = 1;
    for (int m = 0; m < 10; ++m)
        image.SetMsnText(m, QString());
    image.SetMsnText(3, u"0221");
    image.SetAssignmentMask(4, 0x10); // MSN 4 rings on 25
    for (int p = 1; p <= 8; ++p)
        image.Port(p).SetForwardingNumberText(QString());
    return image;
}

config::PortNames Names() {
    config::PortNames names;
    names[1] = QStringLiteral("Fax");
    return names;
}

QStringList Lines(const ConfigImage& a, const ConfigImage& b) {
    QStringList lines;
    for (const ConfigChange& c : config::CompareConfigurations(a, b, Names()))
        lines << c.text;
    return lines;
}

TEST(CompareConfigurations, NamesEachKindOfField) {
    struct Row {
        const char* what;
        std::function<void(ConfigImage&)> change;
        QStringList lines;
    };
    const auto set = [](int offset, int value) {
        return [=](ConfigImage& i) { i.Bytes()[std::size_t(offset)] = std::uint8_t(value); };
    };
    const Row rows[] = {
        {"protocol", set(3, 0), {u"Protokoll: \"DSS1\" → \"1TR6\""_qs}},
        {"connection type",
         set(1, 0),
         {u"Anschlußart: \"Anlagenanschluß\" → \"Mehrgeräteanschluß\""_qs}},
        {"S0 ports",
         [](ConfigImage& i) { i.Bytes()[58] = 0, i.Bytes()[59] = 2; },
         {u"Externe S0-Anschlüsse: 1 → 2"_qs, u"Interne S0-Anschlüsse: 1 → 0"_qs}},
        {"firmware", set(5, 92), {u"Firmware-Version: 1.93 → 1.92"_qs}},
        {"music on hold", set(57, 1), {u"Music on Hold: \"Nein\" → \"Ja\""_qs}},
        {"a value without a name", set(57, 5), {u"Music on Hold: \"Nein\" → Wert 5"_qs}},
        {"MSN number",
         [](ConfigImage& i) { i.SetMsnText(3, u"0222"); },
         {u"MSN 3: 0221 → 0222"_qs}},
        {"MSN entered and cleared",
         [](ConfigImage& i) { i.SetMsnText(4, u"123"), i.SetMsnText(3, u""); },
         {u"MSN 3: 0221 → (leer)"_qs, u"MSN 4: (leer) → 123"_qs}},
        {"MSN bytes that read alike", // an empty position moved within the number
         [](ConfigImage& i) { i.Bytes()[23] = 0xF2, i.Bytes()[24] = 0x1F; },
         {u"MSN 3 unverändert (0221), Byte 23: 12 → F2"_qs,
          u"MSN 3 unverändert (0221), Byte 24: FF → 1F"_qs}},
        {"assignment",
         [](ConfigImage& i) { i.SetAssignmentMask(4, 0x02); },
         {u"Anschluß 22 (Fax) klingelt jetzt bei MSN 4"_qs,
          u"Anschluß 25 klingelt nicht mehr bei MSN 4"_qs}},
        {"internal forwarding",
         set(Record22 + 3, 23),
         {u"Rufumleitung von 22 nach 23 eingeschaltet"_qs}},
        {"external forwarding",
         [](ConfigImage& i) { i.Port(2).SetForwardingNumberText(u"0221987"); },
         {u"Rufumleitung von 22 nach 0221987 eingeschaltet"_qs}},
        {"a forwarding target beyond the ports",
         set(Record22 + 3, 29),
         {u"Rufumleitung von 22 unverändert (aus), Byte 179: 00 → 1D"_qs}},
        {"permission",
         set(Record22 + 1, 2),
         {u"Anschluß 22 (Fax): Berechtigung \"Vollamt\" → \"Ortsgespräch\""_qs}},
        {"permission without a name",
         set(Record22 + 1, 7),
         {u"Anschluß 22 (Fax): Berechtigung \"Vollamt\" → Wert 7"_qs}},
        {"service",
         set(Record22 + 2, 1),
         {u"Anschluß 22 (Fax): Dienst \"Telefon\" → \"Fax G3\""_qs}},
        {"pulse", set(Record22 + 4, 1), {u"Anschluß 22 (Fax): Gebührenimpuls eingeschaltet"_qs}},
        {"a flag byte that still reads off",
         set(Record22 + 4, 2),
         {u"Anschluß 22 (Fax): Gebührenimpuls unverändert (aus), Byte 180: 00 → 02"_qs}},
        {"outside line",
         set(Record22 + 17, 1),
         {u"Anschluß 22 (Fax): Spontane Amtsholung eingeschaltet"_qs}},
        {"uninterpreted bytes",
         [](ConfigImage& i) { i.Bytes()[60] = 7, i.Bytes()[Record22 + 5] = 1; },
         {u"Anschluß 22 (Fax): Byte 181: 00 → 01"_qs, u"Byte 60: 00 → 07"_qs}},
        {"command bytes, counters, bytes never sent",
         [](ConfigImage& i) {
             i.Bytes()[0] = 9, i.Bytes()[151] = 7, i.Bytes()[107] = 1, i.Bytes()[Record22 + 21] = 1;
             i.SetUnitCounterValue(2, 500);
         },
         {}},
    };
    for (const Row& row : rows) {
        ConfigImage after = Base();
        row.change(after);
        EXPECT_EQ(Lines(Base(), after), row.lines) << row.what;
    }
}

TEST(CompareConfigurations, PortCountMovesPortsAndForwardingTargets) {
    ConfigImage before = Base();
    before.Port(2).SetForwardingPort(27);
    before.Port(7).SetPermission(3);
    ConfigImage after = before;
    after.Bytes()[2] = 6;
    EXPECT_EQ(Lines(before, after),
              (QStringList{u"a/b-Schnittstellen: 8 → 6"_qs,
                           u"Rufumleitung von 22 nach 27 ausgeschaltet"_qs,
                           u"Anschluß 27 entfallen"_qs, u"Anschluß 28 entfallen"_qs}));
    EXPECT_EQ(Lines(after, before).mid(2, 1),
              QStringList{u"Anschluß 27 hinzugekommen: Berechtigung \"Ankommend\", "
                          u"Dienst \"Telefon\""_qs});
}

TEST(CompareConfigurations, SummaryNamesTheFirstAndCountsTheRest) {
    ConfigImage after = Base();
    EXPECT_EQ(config::ChangeSummary(config::CompareConfigurations(Base(), after)),
              u"keine Änderung"_qs);
    after.Bytes()[3] = 0;
    EXPECT_EQ(config::ChangeSummary(config::CompareConfigurations(Base(), after)),
              u"Protokoll: \"DSS1\" → \"1TR6\""_qs);
    after.Bytes()[57] = 1, after.Bytes()[59] = 3;
    EXPECT_EQ(config::ChangeSummary(config::CompareConfigurations(Base(), after)),
              u"Protokoll: \"DSS1\" → \"1TR6\" und 2 weitere Änderungen"_qs);
}

// Over random pairs: a line for every differing configuration byte, no line without one.
TEST(CompareConfigurations, NamesExactlyTheDifferingBytes) {
    std::mt19937 rng(2612);
    const auto byte = [&rng] { return std::uint8_t(rng() & 0xFF); };
    const auto below = [&rng](int n) { return int(rng() % unsigned(n)); };
    const std::uint8_t portCounts[] = {0, 1, 3, 7, 8, 9, 255};
    int equalPairs = 0;
    for (int pair = 0; pair < 4000; ++pair) {
        ConfigImage a;
        for (auto& b : a.Bytes())
            b = below(3) ? byte() : std::uint8_t(below(3)); // plenty of 0, 1, 2: flags
        a.Bytes()[2] = portCounts[below(7)];
        ConfigImage b = a;
        for (int k = below(7); k > 0; --k) {
            const int offset = below(4) ? below(412) : below(588);
            b.Bytes()[std::size_t(offset)] =
                below(2) ? byte() : std::uint8_t(b.Bytes()[std::size_t(offset)] ^ (1 << below(8)));
        }
        if (below(6) == 0)
            b.Bytes()[2] = portCounts[below(7)];

        std::set<int> differing;
        for (int o = 0; o < ConfigImage::Size; ++o) {
            ASSERT_EQ(config::ComparedByte(a, b, o), InConfiguration(a, b, o)) << o;
            if (InConfiguration(a, b, o) && a.Bytes()[std::size_t(o)] != b.Bytes()[std::size_t(o)])
                differing.insert(o);
        }
        const std::vector<ConfigChange> changes = config::CompareConfigurations(a, b);
        std::set<int> named;
        for (const ConfigChange& c : changes) {
            ASSERT_FALSE(c.bytes.empty()) << c.text.toStdString();
            ASSERT_FALSE(c.text.isEmpty());
            for (const int o : c.bytes) {
                ASSERT_TRUE(differing.count(o)) << "pair " << pair << ": " << c.text.toStdString();
                named.insert(o);
            }
        }
        ASSERT_EQ(named, differing) << "pair " << pair;
        ASSERT_EQ(changes.empty(), config::ConfigurationOnly(a) == config::ConfigurationOnly(b))
            << "pair " << pair;
        equalPairs += changes.empty();
    }
    EXPECT_GT(equalPairs, 100); // the equal case was tried, not only the different one
}

// The command line: the lines, and diff's exit status.
TEST(DiffTool, ExitStatusSaysEqualDifferentOrTrouble) {
    QTemporaryDir dir;
    const auto write = [&dir](const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    ConfigImage changed = Base();
    changed.SetMsnText(3, u"0222");
    const QString a = write("a.vrn", Base().ToByteArray());
    const QString b = write("b.vrn", changed.ToByteArray());
    const QString shortFile = write("kurz.vrn", Base().ToByteArray().left(587));
    const QString longFile = write("lang.vrn", Base().ToByteArray() + "x");

    const auto run = [&dir](const QStringList& args, QByteArray* out = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path()); // no port names
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(WINVARNO_DIFF_EXE), args);
        EXPECT_TRUE(p.waitForFinished(30000));
        if (out)
            *out = p.readAllStandardOutput();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    };
    QByteArray out;
    EXPECT_EQ(run({a, b}, &out), 1);
    EXPECT_EQ(QString::fromUtf8(out), u"MSN 3: 0221 → 0222\n"_qs);
    EXPECT_EQ(run({a, a}, &out), 0);
    EXPECT_EQ(out, "");
    for (const QStringList& args : {QStringList{a, shortFile},
                                    {longFile, a},
                                    {a, dir.path()},
                                    {a, dir.filePath("fehlt.vrn")},
                                    {a},
                                    {a, b, a},
                                    {"--unbekannt", a, b},
                                    {a, "@1"}})
        EXPECT_EQ(run(args), 2) << args.join(u' ').toStdString();
}

} // namespace
