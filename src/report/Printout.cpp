#include "report/Printout.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QRect>
#include <QStringList>
#include <algorithm>

namespace report {

namespace {

constexpr int kFontSize = 8; // points, the printer font's default size
const QString kDatumBild = QStringLiteral("dd.MM.yyyy");
const QString kZeitBild = QStringLiteral("HH:mm");

// Positions on the page: columns of W/100, rows of H/55, all in integers so the
// page comes out the same on every device.
class Page {
public:
    Page(QPainter& painter, int width, int height)
        : p(painter), W(width), H(height), c(width / 100), r(height / 55), d(width / 200) {}

    QPainter& p;
    const int W, H, c, r, d;

    // Corners inclusive at the top left, exclusive at the bottom right.
    void Fill(int x1, int y1, int x2, int y2, const QColor& colour) {
        if (x2 > x1 && y2 > y1)
            p.fillRect(QRect(x1, y1, x2 - x1, y2 - y1), colour);
    }

    void DrawShadowBox(int x1, int y1, int x2, int y2) {
        p.save();
        p.setPen(QPen(Qt::black, 5, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p.setBrush(Qt::white);
        p.drawRect(QRect(x1, y1, x2 - x1, y2 - y1));
        p.restore();
        Fill(x1 + d, y2, x2 + d, y2 + d, Qt::black);
        Fill(x2, y1 + d, x2 + d, y2 + d, Qt::black);
    }

    int Width(const QString& text) const { return p.fontMetrics().horizontalAdvance(text); }

    // The top-left corner of the text at (x, y), as the page's positions mean it.
    void Text(int x, int y, const QString& text) {
        if (!text.isEmpty())
            p.drawText(QPoint(x, y + p.fontMetrics().ascent()), text);
    }
    void TextAt(int column, int row, const QString& text) { Text(column * c, row * r, text); }
    void RightAt(int column, int row, const QString& text) {
        Text(column * c - Width(text), row * r, text);
    }
    // Under a heading at `column`; both widths in the font now in use.
    void CentredUnder(int column, const QString& heading, int row, const QString& text) {
        Text(column * c + Width(heading) / 2 - Width(text) / 2, row * r, text);
    }

    void SetFont(int points, bool bold) {
        QFont f = p.font();
        f.setPointSize(points);
        f.setBold(bold);
        p.setFont(f);
    }
};

struct Column {
    int column;
    const char* heading;
    bool right;
};

const QString kAnschluss = QStringLiteral("Anschluß");
const QString kZuordnung = QStringLiteral("MSN-Zuordnung");
const QString kImpuls = QStringLiteral("Impuls");
const QString kAmtsholung = QStringLiteral("Spontane Amtsholung");

} // namespace

QString AssignmentText(const std::array<bool, kMsns>& msns) {
    QStringList numbers;
    for (int m = 0; m < kMsns; ++m)
        if (msns[std::size_t(m)])
            numbers << QString::number(m);
    return numbers.join(QStringLiteral(", "));
}

void DrawPrintout(QPainter& painter, const QRect& page, const PrintoutData& data) {
    painter.save();
    painter.translate(page.topLeft());
    Page pg(painter, page.width(), page.height());
    const int c = pg.c, r = pg.r, d = pg.d;
    // The label arrays hold eight ports; anything else would run off them and the page.
    const int N = std::clamp(data.portCount, 0, kPorts);

    // Bands: the title across the top and the left edge down to the port box's shadow.
    pg.Fill(3 * c, 7 * r, 99 * c + d, 10 * r, Qt::black);
    pg.Fill(3 * c, 7 * r, 6 * c, (N + 30) * r + d, Qt::black);

    QFont face;
    face.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    face.setStyleHint(QFont::SansSerif);
    painter.setFont(face);
    painter.setPen(Qt::white);
    pg.SetFont(2 * kFontSize, true);
    const QString titel = QStringLiteral("Varno KM20/KM50 - Konfiguration");
    pg.Text(52 * pg.W / 100 - pg.Width(titel) / 2, 15 * pg.H / 110, titel);

    pg.SetFont(kFontSize, false);
    const QString datum = data.zeitpunkt.toString(kDatumBild);
    const QString zeit = data.zeitpunkt.toString(kZeitBild);
    pg.Text(99 * c - pg.Width(datum) - pg.Width(zeit) - pg.Width(QStringLiteral("     ")), 8 * r,
            datum);
    pg.RightAt(99, 8, zeit);

    painter.setPen(Qt::black);

    pg.DrawShadowBox(7 * c, 11 * r, 51 * c, 23 * r);
    const std::array<std::pair<const char*, const QString*>, 7> basis{{
        {"Protokoll", &data.protokoll},
        {"Anschlußart", &data.anschlussart},
        {"Externe S0-Anschlüsse", &data.s0Extern},
        {"Interne S0-Anschlüsse", &data.s0Intern},
        {"a/b-Schnittstellen", &data.abSchnittstellen},
        {"Firmware-Version", &data.firmware},
        {"Music on Hold", &data.musicOnHold},
    }};
    for (int i = 0; i < int(basis.size()); ++i) {
        pg.SetFont(kFontSize, true);
        pg.TextAt(8, 13 + i, QString::fromUtf8(basis[std::size_t(i)].first));
        pg.SetFont(kFontSize, false);
        pg.TextAt(30, 13 + i, *basis[std::size_t(i)].second);
    }

    pg.DrawShadowBox(53 * c, 11 * r, 99 * c, 23 * r);
    for (int n = 0; n < kMsns; ++n) {
        pg.SetFont(kFontSize, true);
        pg.TextAt(62, 12 + n, QStringLiteral("MSN%1").arg(n));
        pg.SetFont(kFontSize, false);
        pg.TextAt(81, 12 + n, data.msn[std::size_t(n)]);
    }

    pg.DrawShadowBox(7 * c, 24 * r, 99 * c, (N + 30) * r);
    const std::array<Column, 10> spalten{{
        {9, "Anschluß", false},
        {15, "Bezeichnung", false},
        {30, "MSN-Zuordnung", false},
        {40, "Rufumleitung", false},
        {50, "Berechtigung", false},
        {60, "Dienst", false},
        {69, "Impuls", false},
        {74, "Spontane Amtsholung", false},
        {92, "Einheiten", true},
        {98, "Kosten", true},
    }};
    pg.SetFont(kFontSize, true);
    for (const Column& s : spalten) {
        const QString heading = QString::fromUtf8(s.heading);
        if (s.right)
            pg.RightAt(s.column, 25, heading);
        else
            pg.TextAt(s.column, 25, heading);
    }

    pg.SetFont(kFontSize, false);
    const QString ja = QStringLiteral("Ja");
    for (int i = 1; i <= N; ++i) {
        const PortRow& port = data.ports[std::size_t(i - 1)];
        const int row = 26 + i;
        // Every number is placed as "21" would be, so the column stays straight.
        pg.Text(9 * c + pg.Width(kAnschluss) / 2 - pg.Width(QStringLiteral("21")) / 2, row * r,
                QString::number(20 + i));
        pg.TextAt(15, row, port.bezeichnung);
        pg.CentredUnder(30, kZuordnung, row, AssignmentText(port.msns));
        pg.TextAt(40, row, port.rufumleitung);
        pg.TextAt(50, row, port.berechtigung);
        pg.TextAt(60, row, port.dienst);
        if (port.impuls)
            pg.CentredUnder(69, kImpuls, row, ja);
        if (port.amtsholung)
            pg.CentredUnder(74, kAmtsholung, row, ja);
        pg.RightAt(92, row, port.einheiten);
        pg.RightAt(98, row, port.kosten);
    }

    pg.SetFont(kFontSize, true);
    pg.CentredUnder(9, kAnschluss, N + 28, QStringLiteral("Summe"));
    pg.SetFont(kFontSize, false);
    pg.RightAt(92, N + 28, data.einheitenSumme);
    pg.RightAt(98, N + 28, data.kostenSumme);

    pg.SetFont(kFontSize / 2, false);
    pg.Text(7 * c + d, (N + 31) * r, QStringLiteral("WinVarno - Version 3.03"));
    pg.SetFont(kFontSize, false);

    painter.restore();
}

} // namespace report
