#include "report/Printout.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

// A letter-size page at 60 dpi: 660 x 510 pixels, so c = 6, r = 9, d = 3 and the
// body text fits its row as it does on paper.
constexpr int kW = 660, kH = 510, kC = 6, kR = 9, kD = 3;

QImage Blank(int w = kW, int h = kH) {
    QImage image(w, h, QImage::Format_RGB32);
    image.setDotsPerMeterX(2362); // 60 dpi
    image.setDotsPerMeterY(2362);
    image.fill(Qt::white);
    return image;
}

QImage Render(const report::PrintoutData& data) {
    QImage image = Blank();
    QPainter p(&image);
    report::DrawPrintout(p, image.rect(), data);
    return image;
}

bool IsWhite(const QImage& img, int x, int y) {
    return img.pixel(x, y) == qRgb(255, 255, 255);
}
bool IsBlack(const QImage& img, int x, int y) {
    return img.pixel(x, y) == qRgb(0, 0, 0);
}

// Bounds of the non-white pixels within `area`; null when there are none.
QRect InkIn(const QImage& img, const QRect& area) {
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (!IsWhite(img, x, y))
                ink |= QRect(x, y, 1, 1);
    return ink;
}

// The cells of one printed row between two columns.
QRect Cell(int fromColumn, int toColumn, int row) {
    return QRect(fromColumn * kC, row * kR, (toColumn - fromColumn) * kC, kR);
}

int RegularWidth(const QImage& device, const QString& text) {
    QFont f;
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    f.setPointSize(8);
    return QFontMetrics(f, &device).horizontalAdvance(text);
}

report::PrintoutData Sample(int ports) {
    report::PrintoutData d;
    d.zeitpunkt = QDateTime(QDate(2026, 12, 7), QTime(9, 5));
    d.protokoll = QStringLiteral("DSS1");
    d.firmware = QStringLiteral("1.93");
    d.msn[0] = QStringLiteral("4711");
    d.portCount = ports;
    for (int i = 0; i < report::kPorts; ++i) {
        d.ports[std::size_t(i)].bezeichnung = QStringLiteral("Port %1").arg(21 + i);
        d.ports[std::size_t(i)].einheiten = QString::number(100 * (i + 1));
        d.ports[std::size_t(i)].kosten = QStringLiteral("1,00");
    }
    d.einheitenSumme = QStringLiteral("3600");
    d.kostenSumme = QStringLiteral("8,00");
    return d;
}

} // namespace

TEST(Printout, AssignmentListsTheMsnsInOrder) {
    std::array<bool, report::kMsns> msns{};
    EXPECT_EQ(report::AssignmentText(msns), "");
    msns[9] = msns[1] = true;
    EXPECT_EQ(report::AssignmentText(msns), "1, 9");
    msns = {};
    msns[0] = msns[3] = msns[5] = true;
    EXPECT_EQ(report::AssignmentText(msns), "0, 3, 5");
}

TEST(Printout, TitleAndLeftBandOnTheColumnGrid) {
    const QImage img = Render(Sample(8));
    // The title band from (3c, 7r) to (99c + d, 10r): x 18 to 597, y 63 to 90.
    for (auto [x, y] : {std::pair{18, 63}, {596, 63}, {18, 89}, {596, 89}, {300, 64}})
        EXPECT_TRUE(IsBlack(img, x, y)) << x << "," << y;
    for (auto [x, y] : {std::pair{17, 70}, {597, 70}, {100, 62}, {100, 90}})
        EXPECT_TRUE(IsWhite(img, x, y)) << x << "," << y;
    // The left band 3c..6c reaches the bottom of the port box's shadow, 38r + d.
    EXPECT_TRUE(IsBlack(img, 35, 344));
    EXPECT_TRUE(IsWhite(img, 36, 200));
    EXPECT_TRUE(IsWhite(img, 20, 345));
    // Title and date in white on the band; date and time end at column 99.
    const QRect band(18, 63, 597 - 18, 90 - 63);
    QRect white;
    for (int y = band.top(); y <= band.bottom(); ++y)
        for (int x = band.left(); x <= band.right(); ++x)
            if (!IsBlack(img, x, y))
                white |= QRect(x, y, 1, 1);
    ASSERT_FALSE(white.isNull());
    EXPECT_LE(white.right(), 99 * kC);
    EXPECT_GE(white.right(), 99 * kC - 3);
    EXPECT_LT(white.left(), 52 * kW / 100 - 50) << "the title is centred on 52 % of W";
}

TEST(Printout, PortBoxSumRowAndFooterFollowThePortCount) {
    for (int n : {8, 4}) {
        SCOPED_TRACE(n);
        report::PrintoutData data = Sample(n);
        const QImage img = Render(data);
        const int bottom = (n + 30) * kR; // 38r for 8 ports, 34r for 4
        // Outline 5 pixels wide on the box's lower edge; its shadow hides under it here.
        for (int y = bottom - 2; y <= bottom + 2; ++y)
            EXPECT_TRUE(IsBlack(img, 300, y)) << y;
        EXPECT_TRUE(IsWhite(img, 300, bottom + kD));
        EXPECT_TRUE(IsWhite(img, 99 * kC + kD, bottom));

        // Last port on row 26 + N, then an empty row, the sum row, and nothing else inside.
        EXPECT_FALSE(InkIn(img, Cell(15, 28, 26 + n)).isNull());
        EXPECT_TRUE(InkIn(img, Cell(8, 98, 27 + n)).isNull());
        EXPECT_FALSE(InkIn(img, Cell(8, 14, 28 + n)).isNull()) << "Summe";
        EXPECT_FALSE(InkIn(img, Cell(86, 92, 28 + n)).isNull());
        EXPECT_TRUE(InkIn(img, Cell(8, 98, 29 + n).adjusted(0, 0, 0, -3)).isNull())
            << "above the outline";

        // The footer is the lowest thing on the page, at 7c + d on row N + 31.
        const QRect below(0, bottom + kD, kW, kH - bottom - kD);
        const QRect footer = InkIn(img, below);
        ASSERT_FALSE(footer.isNull());
        EXPECT_GE(footer.top(), (n + 31) * kR);
        EXPECT_LT(footer.bottom(), (n + 32) * kR);
        EXPECT_GE(footer.left(), 7 * kC + kD);
        EXPECT_LE(footer.left(), 7 * kC + kD + 2);
    }
}

TEST(Printout, ShadowsFallBelowAndRightOfTheBoxes) {
    // 1320 x 1020: c = 13, r = 18, d = 6, wide enough for the shadow to clear the outline.
    QImage img = Blank(1320, 1020);
    {
        QPainter p(&img);
        report::DrawPrintout(p, img.rect(), Sample(8));
    }
    // Port box (91, 432) to (1287, 684): shadow strips (97, 684)-(1293, 690) and
    // (1287, 438)-(1293, 690).
    EXPECT_TRUE(IsBlack(img, 97, 688));
    EXPECT_TRUE(IsWhite(img, 96, 688));
    EXPECT_TRUE(IsBlack(img, 1292, 689));
    EXPECT_TRUE(IsWhite(img, 1293, 600));
    EXPECT_TRUE(IsWhite(img, 600, 690));
    EXPECT_TRUE(IsBlack(img, 1291, 438));
    EXPECT_TRUE(IsWhite(img, 1291, 437));
    // Its inside stays white.
    EXPECT_TRUE(IsWhite(img, 1280, 670));
    // Basic box (91, 198) to (663, 414): its right shadow from y 204 down.
    EXPECT_TRUE(IsBlack(img, 668, 204));
    EXPECT_TRUE(IsWhite(img, 668, 203));
    EXPECT_TRUE(IsBlack(img, 668, 419));
    EXPECT_TRUE(IsWhite(img, 668, 420));
    // The left band ends with the port box's shadow.
    EXPECT_TRUE(IsBlack(img, 40, 689));
    EXPECT_TRUE(IsWhite(img, 40, 690));
}

TEST(Printout, PortRowCells) {
    report::PrintoutData data = Sample(2);
    data.ports[0].msns[1] = data.ports[0].msns[9] = true;
    data.ports[0].impuls = true;
    data.ports[1].amtsholung = true;
    data.ports[1].einheiten = QStringLiteral("1234");
    const QImage img = Render(data);

    // "1, 9" centred under "MSN-Zuordnung" (widths in the regular font); nothing for port 22.
    const QRect msns = InkIn(img, Cell(30, 40, 27));
    ASSERT_FALSE(msns.isNull());
    const int centre = 30 * kC + RegularWidth(img, QStringLiteral("MSN-Zuordnung")) / 2;
    EXPECT_NEAR((msns.left() + msns.right() + 1) / 2.0, centre, 2.0);
    EXPECT_TRUE(InkIn(img, Cell(30, 40, 28)).isNull());

    // "Ja" only where the flag is set.
    EXPECT_FALSE(InkIn(img, Cell(69, 74, 27)).isNull());
    EXPECT_TRUE(InkIn(img, Cell(69, 74, 28)).isNull());
    EXPECT_TRUE(InkIn(img, Cell(74, 86, 27)).isNull());
    EXPECT_FALSE(InkIn(img, Cell(74, 86, 28)).isNull());

    // Units end at column 92.
    const QRect units = InkIn(img, Cell(86, 93, 28));
    ASSERT_FALSE(units.isNull());
    EXPECT_LE(units.right(), 92 * kC);
    EXPECT_GE(units.right(), 92 * kC - 2);

    // Port numbers stand centred under "Anschluß" as "21" would.
    const QRect number = InkIn(img, Cell(8, 15, 28));
    const int anschluss = RegularWidth(img, QStringLiteral("Anschluß"));
    const int left = 9 * kC + anschluss / 2 - RegularWidth(img, QStringLiteral("21")) / 2;
    EXPECT_NEAR(number.left(), left, 2);
}

TEST(Printout, UnreadValuesLeaveTheFrameAndNames) {
    report::PrintoutData empty;
    empty.portCount = 1;
    const QImage img = Render(empty);
    for (int n = 0; n < report::kMsns; ++n) {
        EXPECT_FALSE(InkIn(img, Cell(62, 70, 12 + n)).isNull()) << "MSN" << n;
        EXPECT_TRUE(InkIn(img, Cell(81, 97, 12 + n)).isNull()) << n;
    }
    for (int row = 13; row <= 19; ++row) {
        EXPECT_FALSE(InkIn(img, Cell(8, 29, row)).isNull()) << row;
        EXPECT_TRUE(InkIn(img, Cell(30, 50, row)).isNull()) << row;
    }
    EXPECT_FALSE(InkIn(img, Cell(9, 97, 25)).isNull());
    EXPECT_FALSE(InkIn(img, Cell(8, 14, 27)).isNull()) << "port 21 is numbered";
    EXPECT_TRUE(InkIn(img, Cell(14, 97, 27)).isNull());
}

TEST(Printout, PortCountOutsideTheEightPortsIsBounded) {
    EXPECT_EQ(Render(Sample(200)), Render(Sample(8)));
    EXPECT_EQ(Render(Sample(-3)), Render(Sample(0)));
    EXPECT_NE(Render(Sample(4)), Render(Sample(8)));
}

TEST(Printout, DrawsIntoTheGivenRect) {
    const report::PrintoutData data = Sample(8);
    QImage big = Blank(kW + 150, kH + 80);
    {
        QPainter p(&big);
        p.setFont(QFont(QStringLiteral("Liberation Mono"), 20));
        report::DrawPrintout(p, QRect(100, 50, kW, kH), data);
        EXPECT_EQ(p.font().family(), QStringLiteral("Liberation Mono")) << "painter restored";
        EXPECT_EQ(p.transform().dx(), 0.0);
    }
    EXPECT_EQ(big.copy(100, 50, kW, kH), Render(data));
    EXPECT_TRUE(InkIn(big, QRect(0, 0, 100, big.height())).isNull());
}
