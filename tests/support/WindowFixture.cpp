#include "support/WindowFixture.h"

#include "app/StatusZeile.h"

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
    while (w.Transfer->Busy())
        w.Transfer->Tick();
}

QList<QWidget*> WindowFixture::EnabledControls(THauptFenster& w) {
    QList<QWidget*> on;
    for (QWidget* c : std::initializer_list<QWidget*>{
             w.OeffnenButton, w.SpeichernButton, w.LesenButton, w.SchreibenButton, w.DruckenButton,
             w.HilfeButton, w.BeendenButton, w.MSNAuswahl, w.TelefonNummer, w.abAuswahl,
             w.GebuehrenEinheiten})
        if (c->isEnabled())
            on << c;
    return on;
}

QByteArray WindowFixture::DeviceAnswer(const QByteArray& data) {
    return testsupport::TFakeLine::Frame(data);
}
