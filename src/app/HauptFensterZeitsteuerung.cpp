// The four scheduled entries: storing them, choosing their files, and the check
// that loads a file and writes it to the exchange when its time has come.
#include "app/HauptFormular.h"
#include "app/ZeitEdit.h"
#include "platform/IniFile.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

void THauptFenster::OnUhrzeitClick(int entry) {
    if (entry < 0 || entry >= schedule::kEntries)
        return;
    platform::IniFile ini(m_env.settingsPath);
    const QString section = QStringLiteral("Zeitpunkt%1").arg(entry + 1);
    ini.writeString(section, QStringLiteral("Zeit"), EditUhrzeit[entry]->zeitText().left(6));
    ini.writeString(section, QStringLiteral("Datei"),
                    EditDateiname[entry]->text().left(schedule::kPathLength));
    if (!ini.save())
        ZeigeDateiFehler(meldung::EinstellungenNichtGespeichert, ini.path(), ini.error());
}

void THauptFenster::ButtonDurchsuchenClick(int entry) {
    if (entry < 0 || entry >= schedule::kEntries)
        return;
    BaueDialoge();
    const QString path = m_env.dateiDialog ? m_env.dateiDialog(ZeitOpenDialog) : QString();
    if (path.isEmpty())
        return;
    EditDateiname[entry]->setText(path.left(schedule::kPathLength));
    platform::IniFile ini(m_env.settingsPath);
    ini.writeString(QStringLiteral("Zeitpunkt%1").arg(entry + 1), QStringLiteral("Datei"),
                    EditDateiname[entry]->text());
    if (!ini.save())
        ZeigeDateiFehler(meldung::EinstellungenNichtGespeichert, ini.path(), ini.error());
}

void THauptFenster::ZeitsteuerungPruefen() {
    std::array<schedule::Entry, schedule::kEntries> entries;
    for (int n = 0; n < schedule::kEntries; ++n)
        entries[n] = {EditUhrzeit[n]->zeitText(), EditDateiname[n]->text()};
    const QString path = Zeitsteuerung.Tick(entries, TransferAktiv());
    if (!path.isEmpty())
        ZeitgesteuertStarten(path);
}

void THauptFenster::ZeitgesteuertStarten(const QString& path) {
    if (!Transfer->Reserve()) {
        Zeitsteuerung.Defer(path);
        return;
    }
    // The write takes about 40 s: run inside the timer's handler, it would keep the
    // timer from ticking (no clock, no countdowns) until it ended.
    QTimer::singleShot(0, this, [this, path] {
        Transfer->Release();
        if (!BeendenAngefordert)
            ZeitgesteuertLaden(path);
    });
}

void THauptFenster::ZeitgesteuertLaden(const QString& path) {
    // Loading keeps the charge block: the exchange gets its own counters back. The
    // write's first status message shows the loaded views before it goes on.
    if (!LadeParameterDatei(path))
        return;
    OnSchreibenClick();
}
