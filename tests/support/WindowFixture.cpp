#include "support/WindowFixture.h"

#include "app/MatrixBild.h"
#include "app/StatusZeile.h"
#include "app/ZeitEdit.h"

#include <QCheckBox>
#include <QLabel>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <QFile>
#include <QImage>
#include <algorithm>
#include <stdexcept>

TUmgebung WindowFixture::umgebung(const QStringList& args) {
    TUmgebung env;
    env.arguments = args;
    env.settingsPath = settingsPath();
    // The program "lies" in the scratch home, so its help file and charge log do too.
    env.programPath = home.file("WinVarno");
    if (!QFile::exists(home.file("WinVarno.hlp")))
        QFile::copy(qEnvironmentVariable("WINVARNO_SOURCE_DIR") + "/assets/WinVarno.hlp",
                    home.file("WinVarno.hlp"));
    env.now = [this] { return now; };
    env.warnung = [this](const QString& caption, const QString& text) {
        warnings << caption + "|" + text;
    };
    env.line = line;
    env.dienstBus = dienstBus;
    return env;
}

std::unique_ptr<THauptFenster> WindowFixture::make(const QStringList& args) {
    return std::make_unique<THauptFenster>(umgebung(args));
}

namespace {
// Text is antialiased, so a pixel counts by the hue that dominates it.
bool LooksLike(const QColor& c, const QColor& target) {
    const int r = c.red(), g = c.green(), b = c.blue();
    if (target == QColor(Qt::red))
        return r - std::max(g, b) > 80;
    if (target == QColor(Qt::blue))
        return b - std::max(r, g) > 80;
    return std::max({r, g, b}) < 80 && std::max({r, g, b}) - std::min({r, g, b}) < 30;
}
} // namespace

int WindowFixture::pixelsOf(THauptFenster& w, const QColor& colour) {
    auto* bar = w.findChild<TStatusZeile*>("StatusZeile");
    const QImage img = bar->grab(bar->panelRect(0)).toImage();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += LooksLike(QColor(img.pixel(x, y)), colour);
    return n;
}

void WindowFixture::Tippe(QLineEdit* field, const QString& text) {
    field->clear();
    QTest::keyClicks(field, text);
}

void WindowFixture::LetReadTimeOut(THauptFenster& w) {
    while (w.Sitzung().Transfer().Busy())
        w.Sitzung().Transfer().Tick();
}

QList<QWidget*> WindowFixture::EnabledControls(THauptFenster& w) {
    QList<QWidget*> on;
    for (QWidget* c : std::initializer_list<QWidget*>{
             Control<QPushButton>(w, "OeffnenButton"), Control<QPushButton>(w, "SpeichernButton"),
             Control<QPushButton>(w, "LesenButton"), Control<QPushButton>(w, "SchreibenButton"),
             Control<QPushButton>(w, "DruckenButton"), Control<QPushButton>(w, "HilfeButton"),
             Control<QPushButton>(w, "BeendenButton"), Control<QComboBox>(w, "MSNAuswahl"),
             Control<QLineEdit>(w, "TelefonNummer"), Control<QComboBox>(w, "abAuswahl"),
             Control<QLineEdit>(w, "GebuehrenEinheiten")})
        if (c->isEnabled())
            on << c;
    return on;
}

QByteArray WindowFixture::DeviceAnswer(const QByteArray& data) {
    return testsupport::TFakeLine::Frame(data);
}

QObject* FindControl(const THauptFenster& w, const QString& name, const QMetaObject& type) {
    QObject* found = nullptr;
    int count = 0;
    for (QObject* o : w.findChildren<QObject*>(name))
        if (type.cast(o)) {
            found = o;
            ++count;
        }
    EXPECT_EQ(count, 1) << name.toStdString();
    return count == 1 ? found : nullptr;
}

namespace {
QString Port(int i) {
    return QString::number(21 + i);
}
} // namespace

QLabel* MSNTabelle(const THauptFenster& w, int m) {
    return Control<QLabel>(w, qPrintable(QStringLiteral("MSN%1").arg(m)));
}
QLabel* BezeichnungTabelleA(const THauptFenster& w, int i) {
    return Control<QLabel>(w, qPrintable("Bezeichnung" + Port(i) + "a"));
}
QLabel* BezeichnungTabelleB(const THauptFenster& w, int i) {
    return Control<QLabel>(w, qPrintable("Bezeichnung" + Port(i) + "b"));
}
QLabel* BezeichnungTabelleC(const THauptFenster& w, int i) {
    return Control<QLabel>(w, qPrintable("Bezeichnung" + Port(i) + "c"));
}
QLabel* BerechtigungTabelle(const THauptFenster& w, int i) {
    return Control<QLabel>(w, qPrintable("Berechtigung" + Port(i)));
}
QLabel* DienstTabelle(const THauptFenster& w, int i) {
    return Control<QLabel>(w, qPrintable("Dienst" + Port(i)));
}
QLabel* KostenTabelle(const THauptFenster& w, int i) {
    return Control<QLabel>(w, qPrintable("Kosten" + Port(i)));
}
QLabel* DiffTabelle(const THauptFenster& w, int i) {
    return Control<QLabel>(w, qPrintable("Diff" + Port(i)));
}
QLabel* EinheitenTabelle(const THauptFenster& w, int i) {
    return Control<QLabel>(w, qPrintable("Einheiten" + Port(i)));
}
QLabel* RufumleitungTabelle(const THauptFenster& w, int i) {
    return Control<QLabel>(w, qPrintable("Rufumleitung" + Port(i)));
}
QCheckBox* ZuordnungTabelle(const THauptFenster& w, int i) {
    return Control<QCheckBox>(w, qPrintable("Zuordnung" + Port(i)));
}
TMatrixBild* ImpulsTabelle(const THauptFenster& w, int i) {
    return Control<TMatrixBild>(w, qPrintable("ImpulsMatrix" + Port(i)));
}
TMatrixBild* AmtsholungTabelle(const THauptFenster& w, int i) {
    return Control<TMatrixBild>(w, qPrintable("Amtsholung" + Port(i)));
}
TMatrixBild* MSNMatrixTabelle(const THauptFenster& w, int i, int m) {
    return Control<TMatrixBild>(w, qPrintable("MSNMatrix" + Port(i) + QString::number(m)));
}
TZeitEdit* EditUhrzeit(const THauptFenster& w, int n) {
    return Control<TZeitEdit>(w, qPrintable(QStringLiteral("EditUhrzeit%1").arg(n + 1)));
}
QLineEdit* EditDateiname(const THauptFenster& w, int n) {
    return Control<QLineEdit>(w, qPrintable(QStringLiteral("EditDateiname%1").arg(n + 1)));
}
QPushButton* ButtonDurchsuchen(const THauptFenster& w, int n) {
    return Control<QPushButton>(w, qPrintable(QStringLiteral("ButtonDurchsuchen%1").arg(n + 1)));
}
