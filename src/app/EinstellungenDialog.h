#pragma once

#include "settings/EinstellungenModell.h"

#include <QDialog>
#include <array>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The dialog "Einstellungen": port name, device, price, interval and port labels.
// It shows the values of the settings file and, on "OK", checks and writes them
// through the model; a value that cannot be written is named in the dialog, which
// then stays open. Accepted means the file was written.
class TEinstellungenDialog : public QDialog {
    Q_OBJECT
public:
    TEinstellungenDialog(QString settingsPath, const std::vector<serial::TSerialDevice>& geraete,
                         einstellungen::TGeraetePruefung pruefung, QWidget* parent = nullptr);

    // The values as the controls hold them now.
    einstellungen::TWerte Werte() const;

    QComboBox* SchnittstelleAuswahl = nullptr;
    QComboBox* GeraetAuswahl = nullptr;
    QLineEdit* KostenEingabe = nullptr;
    QLineEdit* WartezeitEingabe = nullptr;
    std::array<QLineEdit*, einstellungen::kPorts> BezeichnungEingabe{};
    QLabel* GrundText = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* AbbrechenButton = nullptr;

private:
    void OKClick();
    void SchnittstelleGewechselt(int index);
    void ZeigeFehler(const einstellungen::TFehler& fehler);

    QString m_pfad;
    einstellungen::TGeraetePruefung m_pruefung;
    einstellungen::TWerte m_werte; // devices of the port names not shown
    int m_schnittstelle = 0;
};
