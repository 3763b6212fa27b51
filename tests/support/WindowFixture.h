#pragma once

#include "app/HauptFormular.h"
#include "support/FakeLine.h"
#include "support/TestSupport.h"

#include <QColor>
#include <gtest/gtest.h>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TMatrixBild;
class TZeitEdit;

// A control of the window by its object name; fails the test unless exactly one
// control of that type carries it.
QObject* FindControl(const THauptFenster& w, const QString& name, const QMetaObject& type);
template <class T> T* Control(const THauptFenster& w, const char* name) {
    return static_cast<T*>(FindControl(w, QString::fromLatin1(name), T::staticMetaObject));
}

// The control tables' entries, by the names of their controls: index 0..7 for
// ports 21..28, 0..9 for MSNs, 0..3 for the schedule entries.
QLabel* MSNTabelle(const THauptFenster& w, int m);
QLabel* BezeichnungTabelleA(const THauptFenster& w, int i);
QLabel* BezeichnungTabelleB(const THauptFenster& w, int i);
QLabel* BezeichnungTabelleC(const THauptFenster& w, int i);
QLabel* BerechtigungTabelle(const THauptFenster& w, int i);
QLabel* DienstTabelle(const THauptFenster& w, int i);
QLabel* KostenTabelle(const THauptFenster& w, int i);
QLabel* DiffTabelle(const THauptFenster& w, int i);
QLabel* EinheitenTabelle(const THauptFenster& w, int i);
QLabel* RufumleitungTabelle(const THauptFenster& w, int i);
QCheckBox* ZuordnungTabelle(const THauptFenster& w, int i);
TMatrixBild* ImpulsTabelle(const THauptFenster& w, int i);
TMatrixBild* AmtsholungTabelle(const THauptFenster& w, int i);
TMatrixBild* MSNMatrixTabelle(const THauptFenster& w, int i, int m);
TZeitEdit* EditUhrzeit(const THauptFenster& w, int n);
QLineEdit* EditDateiname(const THauptFenster& w, int n);
QPushButton* ButtonDurchsuchen(const THauptFenster& w, int n);

// A main window with recording fakes for the port, the read sequence and the
// warning box, and its own settings file in a scratch home.
struct WindowFixture : ::testing::Test {
    testsupport::ScratchHome home;
    std::shared_ptr<testsupport::TFakeLine> line = std::make_shared<testsupport::TFakeLine>();
    // "open COM2", "send 83 0a 00 00", "close" in the order they happened
    QStringList& calls = line->calls;
    QStringList warnings;
    QDateTime now{QDate(2026, 12, 7), QTime(9, 5, 3)};
    // Where the window looks for the service winvarnod: by default on no bus, so one on
    // the developer's own session bus takes no part.
    std::function<QDBusConnection()> dienstBus = [] {
        return QDBusConnection(QStringLiteral("winvarno-test-ohne-bus"));
    };

    QString settingsPath() const { return home.file("WinVarno.INI"); }
    void settings(const QByteArray& bytes) { testsupport::writeAll(settingsPath(), bytes); }
    TUmgebung umgebung(const QStringList& args = {});
    std::unique_ptr<THauptFenster> make(const QStringList& args = {});

    // How many pixels of the message panel are drawn in this colour (red, blue or black).
    static int pixelsOf(THauptFenster& w, const QColor& colour);
    // A device answer: the data in groups of a header and three data bytes.
    static QByteArray DeviceAnswer(const QByteArray& data);
    // Replaces the field's text as a user typing would (which marks it modified).
    static void Tippe(QLineEdit* field, const QString& text);
    // Lets the pending read run out through its time-outs, so no transfer runs.
    static void LetReadTimeOut(THauptFenster& w);
    // Which of the controls a transfer locks are enabled, in their order.
    static QList<QWidget*> EnabledControls(THauptFenster& w);
    template <class T> static T* find(THauptFenster& w, const char* name) {
        return w.findChild<T*>(QString::fromLatin1(name));
    }
};
