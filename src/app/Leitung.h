#pragma once

// Private to the main window's sources.
#include "app/Beschriftung.h"
#include "app/HauptFormular.h"
#include "desktop/UMsgHook.h"

#include <QAction>
#include <QPushButton>
#include <algorithm>

// The sequences' view of the window and the line's listener in one.
class THauptFenster::TLeitung final : public device::TTransferView, public device::TLineListener {
public:
    explicit TLeitung(THauptFenster& w) : m_w(w) {}

    void ShowMessage(int number, int severity, const QString& argument) override {
        m_w.ZeigeMeldung(number, severity, argument);
    }
    void SetControlsEnabled(bool enabled) override { m_w.SetControlsEnabled(enabled); }
    bool LineReady() override { return m_w.LeitungBereit(); }
    void BlockStored(config::Region region) override {
        switch (region) {
        case config::Region::Basic:
            m_w.DecodeBasicBlock();
            break;
        case config::Region::Terminal:
            m_w.DecodeTerminalBlock();
            break;
        case config::Region::Charge:
            m_w.EvaluateCharges();
            break;
        }
    }
    void ReadComplete() override { m_w.MessageHook->SetActive(true); }
    void CounterEditKept(int port, std::uint16_t value) override {
        const auto i = std::size_t(port - 1);
        m_w.Arrays.UnitCounter[i] = value;
        m_w.Arrays.UnitCounterEdited[i] = true;
        app::SetRed(m_w.EinheitenTabelle[i], QString::number(value));
        m_w.RefreshPortPage();
    }
    void FirmwareRefused() override {
        // Reading stays possible: a corrected cable or another exchange needs no restart.
        m_w.LesenButton->setEnabled(true);
        m_w.HilfeButton->setEnabled(true);
        m_w.BeendenButton->setEnabled(true);
        m_w.PopupItemSchliessen->setEnabled(true);
    }
    void TransferEnded() override { m_w.TransferEnde(); }

    void LineData(QByteArrayView block) override {
        m_w.OnReceiveData(block.data(), quint16(std::min<qsizetype>(block.size(), 0xFFFF)));
    }
    // A line-error report is no answer: taken as one it would be decoded as a block.
    // It stays in the comms log, and the answer that follows is handled.
    void LineError(const QString&) override {}
    // The descriptor of a vanished device is let go at once; the next transfer opens
    // the port anew by its configured path.
    void LineLost() override { m_w.m_line->Close(); }

private:
    THauptFenster& m_w;
};
