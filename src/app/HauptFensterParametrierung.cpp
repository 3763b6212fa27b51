// Editing on the "Parametrierung" page: the MSN and port pages are taken into
// the image only at the commit points, and what changed shows red on the views.
#include "app/Beschriftung.h"
#include "app/HauptFormular.h"
#include "app/MatrixBild.h"
#include "app/MatrixGlyphs.h"
#include "app/ZeitEdit.h"
#include "config/Editing.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <algorithm>

using app::SetRed;

namespace {

// A changed flag or assignment: a red tick, or the empty box.
void Redraw(TMatrixBild* cell, bool set) {
    if (set)
        config::DrawTick(cell->canvas(), Qt::red);
    else
        config::EraseTick(cell->canvas());
    cell->changed();
}

} // namespace

void THauptFenster::VerbindeParametrierung() {
    // Digits and blanks only (a blank ends the number): anything else would reach the
    // image as garbage nibbles.
    TelefonNummer->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9 ]*")), TelefonNummer));
    // "activated" comes from the user only, as a selection change should.
    connect(MSNAuswahl, &QComboBox::activated, this, [this] { OnMSNAuswahlChange(); });
    connect(abAuswahl, &QComboBox::activated, this, [this] { OnabAuswahlChange(); });
    connect(ParametrierungPageControl, &QTabWidget::currentChanged, this,
            &THauptFenster::ParametrierungPageChange);
    connect(MainPageControl, &QTabWidget::currentChanged, this, &THauptFenster::OnMainPageChange);
    m_hauptSeite = MainPageControl->currentWidget();
    m_parametrierSeite = ParametrierungPageControl->currentWidget();

    for (int n = 0; n < schedule::kEntries; ++n) {
        EditUhrzeit[n]->installEventFilter(this);
        EditDateiname[n]->installEventFilter(this);
        EditTage[n]->installEventFilter(this);
        connect(ButtonDurchsuchen[n], &QPushButton::clicked, this,
                [this, n] { ButtonDurchsuchenClick(n); });
        connect(ButtonJetztSchreiben[n], &QPushButton::clicked, this,
                [this, n] { ButtonJetztSchreibenClick(n); });
    }
}

bool THauptFenster::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        for (int n = 0; n < schedule::kEntries; ++n)
            if (watched == EditUhrzeit[n] || watched == EditDateiname[n] ||
                watched == EditTage[n]) {
                // A time field that refuses to be left has stored nothing.
                if (watched == EditUhrzeit[n] && !EditUhrzeit[n]->mayLeave())
                    break;
                OnUhrzeitClick(n);
            }
    }
    return QWidget::eventFilter(watched, event);
}

void THauptFenster::ZeigeSeite(QWidget* page, QWidget* innerPage) {
    m_programmWechsel = true;
    MainPageControl->setCurrentWidget(page);
    if (innerPage)
        ParametrierungPageControl->setCurrentWidget(innerPage);
    m_programmWechsel = false;
    m_hauptSeite = MainPageControl->currentWidget();
    m_parametrierSeite = ParametrierungPageControl->currentWidget();
}

void THauptFenster::CommitMsnPage() {
    config::ConfigImage& image = m_sitzung->Image();
    config::DecodedArrays& arrays = m_sitzung->Arrays();
    const int m = SelectedMsn;
    if (m < 0 || m >= kMsns)
        return;
    const QString typed = TelefonNummer->text().left(14);
    // An unchanged field leaves the stored digits alone, whatever they hold.
    if (typed != MSNTabelle[m]->text()) {
        const config::MsnEntry e = config::TakeMsnNumber(typed);
        // Red while it differs from what was read, black again once it does not.
        if (e.shown == m_msnGelesen[std::size_t(m)])
            app::SetBlack(MSNTabelle[m], e.shown);
        else if (e.shown != MSNTabelle[m]->text())
            SetRed(MSNTabelle[m], e.shown);
        std::copy(e.bytes.begin(), e.bytes.end(), image.MsnNumber(m).begin());
    }
    std::uint8_t mask = 0;
    for (int i = 0; i < arrays.UsedPorts(); ++i) {
        const bool c = ZuordnungTabelle[i]->isChecked();
        if (c)
            mask |= std::uint8_t(1u << i);
        if (c != arrays.AssignmentMatrix[i][m]) {
            arrays.AssignmentMatrix[i][m] = c;
            Redraw(MSNMatrixTabelle[i][m], c);
        }
    }
    image.SetAssignmentMask(m, mask);
}

void THauptFenster::CommitPortPage() {
    config::ConfigImage& image = m_sitzung->Image();
    config::DecodedArrays& arrays = m_sitzung->Arrays();
    const int i = SelectedPort;
    // Never into a port the exchange does not have.
    if (i < 0 || i >= arrays.UsedPorts())
        return;
    auto record = image.Port(i + 1);
    if (GebuehrenImpuls->isChecked() != arrays.PulseFlag[i]) {
        arrays.PulseFlag[i] = GebuehrenImpuls->isChecked();
        record.SetPulse(arrays.PulseFlag[i]);
        Redraw(ImpulsTabelle[i], arrays.PulseFlag[i]);
    }
    // A box without a chosen entry commits nothing for its field.
    const int permission = BerechtigungsAuswahl->currentIndex();
    if (permission >= 0 && permission < int(BerechtigungsNamen.size()) &&
        permission != arrays.PermissionIndex[i]) {
        arrays.PermissionIndex[i] = permission;
        record.SetPermission(std::uint8_t(permission));
        SetRed(BerechtigungTabelle[i], BerechtigungsNamen[permission]);
    }
    const int service = DienstAuswahl->currentIndex();
    if (service >= 0 && service < int(DienstNamen.size()) && service != arrays.ServiceIndex[i]) {
        arrays.ServiceIndex[i] = service;
        record.SetService(std::uint8_t(service));
        SetRed(DienstTabelle[i], DienstNamen[service]);
    }
    // A value the 16-bit counter cannot hold is not taken: the next refresh shows
    // the stored counter again, so image, counter and label always agree.
    // Only what the user typed: looking at a port must never set its counter.
    const std::optional<long long> units = config::ParseWholeNumber(GebuehrenEinheiten->text());
    if (GebuehrenEinheiten->isModified() && units && config::FitsCounter(*units) &&
        *units != arrays.UnitCounter[i]) {
        arrays.UnitCounter[i] = int(*units);
        arrays.UnitCounterEdited[i] = true;
        image.SetUnitCounterValue(i + 1, std::uint16_t(*units));
        SetRed(EinheitenTabelle[i], GebuehrenEinheiten->text());
    }
    if (SpontaneAmtsholung->isChecked() != arrays.OutsideLineFlag[i]) {
        arrays.OutsideLineFlag[i] = SpontaneAmtsholung->isChecked();
        record.SetOutsideLine(arrays.OutsideLineFlag[i]);
        Redraw(AmtsholungTabelle[i], arrays.OutsideLineFlag[i]);
    }
}

void THauptFenster::OnMSNAuswahlChange() {
    const int m = MSNAuswahl->currentIndex();
    if (m == SelectedMsn || m < 0)
        return;
    CommitMsnPage();
    SelectedMsn = m;
    RefreshMsnPage();
}

void THauptFenster::OnabAuswahlChange() {
    const int p = abAuswahl->currentIndex();
    if (p == SelectedPort || p < 0)
        return;
    CommitPortPage();
    SelectedPort = p;
    RefreshPortPage();
}

void THauptFenster::ParametrierungPageChange(int) {
    QWidget* left = m_parametrierSeite;
    m_parametrierSeite = ParametrierungPageControl->currentWidget();
    if (m_programmWechsel)
        return;
    // The page being left is committed, so no edit is lost by a page change.
    if (left == MSNParametrierung)
        CommitMsnPage();
    else if (left == abParametrierung)
        CommitPortPage();
    if (m_parametrierSeite == MSNParametrierung)
        RefreshMsnPage();
    else
        RefreshPortPage();
}

void THauptFenster::OnMainPageChange(int) {
    QWidget* left = m_hauptSeite;
    m_hauptSeite = MainPageControl->currentWidget();
    if (m_programmWechsel)
        return;
    const bool msn = ParametrierungPageControl->currentWidget() == MSNParametrierung;
    if (left == TabParametrierung) {
        if (msn)
            CommitMsnPage();
        else
            CommitPortPage();
    }
    if (m_hauptSeite == TabParametrierung) {
        if (msn)
            RefreshMsnPage();
        else
            RefreshPortPage();
    }
}
