#pragma once

#include "app/HauptFormular.h"
#include "support/FakeLine.h"
#include "support/TestSupport.h"

#include <QColor>
#include <gtest/gtest.h>
#include <memory>

class QLineEdit;

// A main window with recording fakes for the port, the read sequence and the
// warning box, and its own settings file in a scratch home.
struct WindowFixture : ::testing::Test {
    testsupport::ScratchHome home;
    std::shared_ptr<testsupport::TFakeLine> line = std::make_shared<testsupport::TFakeLine>();
    // "open COM2", "send 83 0a 00 00", "close" in the order they happened
    QStringList& calls = line->calls;
    QStringList warnings;
    QDateTime now{QDate(2026, 12, 7), QTime(9, 5, 3)};

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
