// The four scheduled entries: storing them and choosing their files. The check
// that loads a file and writes it to the exchange is the session's.
#include "app/HauptFormular.h"
#include "app/ZeitEdit.h"
#include "platform/IniFile.h"
#include "schedule/Wochenplan.h"
#include "service/DienstKlient.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

void THauptFenster::OnUhrzeitClick(int entry) {
    if (entry < 0 || entry >= schedule::kEntries)
        return;
    platform::IniFile ini(m_env.settingsPath);
    const QString section = QStringLiteral("Zeitpunkt%1").arg(entry + 1);
    ini.writeString(section, QStringLiteral("Zeit"), EditUhrzeit[entry]->zeitText().left(6));
    ini.writeString(section, QStringLiteral("Datei"),
                    EditDateiname[entry]->text().left(schedule::kPathLength));
    const auto tage = schedule::TWochentage::FromText(EditTage[entry]->text());
    schedule::WriteTage(ini, entry, tage);
    if (!ini.save())
        ZeigeDateiFehler(meldung::EinstellungenNichtGespeichert, ini.path(), ini.error());
    else if (DienstVerbunden())
        ZeigeDienstAntwort(m_dienst->EinstellungenNeuLaden());
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
    else if (DienstVerbunden())
        ZeigeDienstAntwort(m_dienst->EinstellungenNeuLaden());
}

void THauptFenster::ButtonJetztSchreibenClick(int entry) {
    // The session has the file the field shows now; leaving the field stored it, and
    // the service reads it from the settings file.
    if (DienstVerbunden())
        ZeigeDienstAntwort(m_dienst->JetztSchreiben(entry));
    else
        m_sitzung->JetztSchreiben(entry);
}

void THauptFenster::ZeitsteuerungPruefen() {
    m_sitzung->ZeitsteuerungPruefen();
}
