// The configuration image on the window: decoding onto the three view pages,
// refreshing the parametrization pages, and parameter files.
#include "app/Beschriftung.h"
#include "app/HauptFormular.h"
#include "app/MatrixBild.h"
#include "app/MatrixGlyphs.h"
#include "catalogue/Catalogue.h"
#include "config/ConfigViews.h"
#include "config/ParameterFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>

using app::SetBlack;

namespace {

void Tick(TMatrixBild* cell, bool set) {
    if (set)
        config::DrawTick(cell->canvas(), Qt::black);
    else
        config::EraseTick(cell->canvas());
    cell->changed();
}

void Unused(TMatrixBild* cell) {
    config::DrawUnusedBox(cell->canvas());
    cell->changed();
}

// What a cell shows once its port exists again: the empty box of the template.
void Restore(TMatrixBild* cell, const QImage& vorlage) {
    if (cell->picture().pixel(5, 4) != vorlage.pixel(5, 4))
        cell->setPicture(vorlage);
}

} // namespace

void THauptFenster::DecodeBasicBlock() {
    m_sitzung->DecodeBasicBlock();
}

void THauptFenster::DecodeTerminalBlock() {
    m_sitzung->DecodeTerminalBlock();
}

void THauptFenster::GrundblockDecodiert(const config::BasicBlockView& v) {
    SetBlack(Protokoll, v.Protokoll);
    SetBlack(Anschlussart, v.Anschlussart);
    SetBlack(MusicOnHold, v.MusicOnHold);
    SetBlack(S0Extern, v.S0Extern);
    SetBlack(S0Intern, v.S0Intern);
    SetBlack(abSchnittstellen, v.abSchnittstellen);

    // Ports the device has come back when a later image has more of them, so a
    // smaller file loaded once does not grey the device's ports for good.
    for (int i = 0; i < kPorts; ++i) {
        const bool unused = v.PortUnused[i];
        BezeichnungTabelleA[i]->setEnabled(!unused);
        BezeichnungTabelleB[i]->setEnabled(!unused);
        BezeichnungTabelleC[i]->setEnabled(!unused);
        if (unused) {
            for (TMatrixBild* cell : MSNMatrixTabelle[i])
                Unused(cell);
            ZuordnungTabelle[i]->setEnabled(false);
            Unused(ImpulsTabelle[i]);
            Unused(AmtsholungTabelle[i]);
        } else {
            for (TMatrixBild* cell : MSNMatrixTabelle[i])
                Restore(cell, MatrixVorlage);
            Restore(ImpulsTabelle[i], MatrixVorlage);
            Restore(AmtsholungTabelle[i], MatrixVorlage);
        }
    }
    const int entries = v.UsedPorts;
    // Entries taken away by a decode are no user's choice: no commit runs for them.
    const QSignalBlocker quiet(abAuswahl);
    while (abAuswahl->count() > entries)
        abAuswahl->removeItem(abAuswahl->count() - 1);
    while (abAuswahl->count() < entries)
        abAuswahl->addItem(
            QStringLiteral("Anschluß %1").arg(startup::kFirstPort + abAuswahl->count()));

    if (SelectedPort >= abAuswahl->count())
        SelectedPort = std::max(0, abAuswahl->currentIndex());

    SetBlack(Firmware, v.Firmware);
    for (int m = 0; m < kMsns; ++m) {
        SetBlack(MSNTabelle[m], v.MSN[m]);
        m_msnGelesen[std::size_t(m)] = v.MSN[m];
    }
    RefreshMsnPage();
}

void THauptFenster::EndgeraeteblockDecodiert(const config::TerminalBlockView& v) {
    for (int i = 0; i < v.DecodedPorts && i < kPorts; ++i) {
        const config::PortRowView& row = v.Ports[i];
        SetBlack(BerechtigungTabelle[i], row.Berechtigung);
        SetBlack(DienstTabelle[i], row.Dienst);
        Tick(AmtsholungTabelle[i], row.Amtsholung);
        Tick(ImpulsTabelle[i], row.Impuls);
        SetBlack(RufumleitungTabelle[i], row.Rufumleitung);
    }
    for (int m = 0; m < kMsns; ++m)
        for (int i = 0; i < v.DecodedPorts && i < kPorts; ++i)
            Tick(MSNMatrixTabelle[i][m], v.Ports[i].Zuordnung[m]);
    RefreshMsnPage();
    RefreshPortPage();
}

void THauptFenster::RefreshMsnPage() {
    const config::DecodedArrays& arrays = m_sitzung->Arrays();
    const int m = MSNAuswahl->currentIndex();
    if (m < 0 || m >= kMsns)
        return;
    TelefonNummer->setText(MSNTabelle[m]->text());
    for (int i = 0; i < arrays.UsedPorts(); ++i)
        ZuordnungTabelle[i]->setChecked(arrays.AssignmentMatrix[i][m]);
}

void THauptFenster::RefreshPortPage() {
    const config::DecodedArrays& arrays = m_sitzung->Arrays();
    const int i = abAuswahl->currentIndex();
    if (i < 0 || i >= kPorts)
        return;
    GebuehrenImpuls->setChecked(arrays.PulseFlag[i]);
    SpontaneAmtsholung->setChecked(arrays.OutsideLineFlag[i]);
    // An index without a name selects nothing rather than a wrong entry.
    const int permission = arrays.PermissionIndex[i], service = arrays.ServiceIndex[i];
    BerechtigungsAuswahl->setCurrentIndex(permission < BerechtigungsAuswahl->count() ? permission
                                                                                     : -1);
    DienstAuswahl->setCurrentIndex(service < DienstAuswahl->count() ? service : -1);
    // The counter itself: a port a loaded file brings back has no units label yet.
    GebuehrenEinheiten->setText(QString::number(arrays.UnitCounter[i]));
}

bool THauptFenster::LadeParameterDatei(const QString& path) {
    return m_sitzung->LadeParameterDatei(path);
}

void THauptFenster::OeffnenClick() {
    BaueDialoge();
    OpenDialog->selectFile(QStringLiteral("*.vrn"));
    const QString path = m_env.dateiDialog ? m_env.dateiDialog(OpenDialog) : QString();
    if (path.isEmpty())
        return;
    if (LadeParameterDatei(path))
        NachDateiGeladen();
}

void THauptFenster::NachDateiGeladen() {
    // Not inside a transfer: the ports the file has may be edited.
    for (int i = 0; i < m_sitzung->Arrays().UsedPorts(); ++i)
        ZuordnungTabelle[i]->setEnabled(true);
    SchreibenButton->setEnabled(true);
    SchreibenPruefen();
}

void THauptFenster::SpeichernClick() {
    BaueDialoge();
    const QDate heute = (m_env.now ? m_env.now() : QDateTime::currentDateTime()).date();
    SaveDialog->selectFile(config::ProposedSaveName(heute));
    const QString path = m_env.dateiDialog ? m_env.dateiDialog(SaveDialog) : QString();
    if (path.isEmpty())
        return;
    m_sitzung->SpeichereParameterDatei(path);
}
