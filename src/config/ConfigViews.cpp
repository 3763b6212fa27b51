#include "config/ConfigViews.h"

#include "catalogue/Catalogue.h"

#include <algorithm>

namespace config {
namespace {

constexpr int ProtocolBase = catalogue::meldung::ProtokollErstes;
constexpr int ConnectionTypeBase = catalogue::meldung::AnschlussartErste;
constexpr int PermissionBase = catalogue::meldung::BerechtigungErste;
constexpr int PermissionNames = 5;
constexpr int ServiceBase = catalogue::meldung::DienstErster;
constexpr int ServiceNames = 6;
constexpr int MusicOnHoldBase = catalogue::meldung::MusicOnHoldErstes;
constexpr int FirstPortNumber = exchange::kFirstPort;

// The two-entry tables sit side by side in the catalogue; an unknown value would
// show the neighbouring table's text, so it shows nothing.
QString TwoValueText(int base, int value) {
    return value >= 0 && value <= 1 ? catalogue::Text(base + value) : QString();
}

} // namespace

QString PermissionName(int index) {
    return index >= 0 && index < PermissionNames ? catalogue::Text(PermissionBase + index)
                                                 : QString();
}

QString ServiceName(int index) {
    return index >= 0 && index < ServiceNames ? catalogue::Text(ServiceBase + index) : QString();
}

int PortSelectorEntries(int currentEntries, const BasicBlockView& view) {
    return std::clamp(currentEntries, 0, view.UsedPorts);
}

BasicBlockView DecodeBasicBlock(const ConfigImage& image, DecodedArrays& arrays) {
    BasicBlockView view;
    view.Protokoll = TwoValueText(ProtocolBase, image.Protocol());
    view.Anschlussart = TwoValueText(ConnectionTypeBase, image.ConnectionType());
    view.MusicOnHold = TwoValueText(MusicOnHoldBase, image.MusicOnHold());
    view.S0Extern = QString::number(image.ExternalS0());
    view.S0Intern = QString::number(image.InternalS0());

    arrays.PortCount = image.PortCountByte();
    view.abSchnittstellen = QString::number(arrays.PortCount);
    view.UsedPorts = arrays.UsedPorts();
    view.PortCountOutOfRange = arrays.PortCount < 1 || arrays.PortCount > PortSlots;
    for (int i = 0; i < PortSlots; ++i)
        view.PortUnused[std::size_t(i)] = i >= view.UsedPorts;

    view.Firmware = QStringLiteral("%1.%2").arg(image.FirmwareMajor()).arg(image.FirmwareMinor());
    for (int m = 0; m < MsnSlots; ++m)
        view.MSN[std::size_t(m)] = image.MsnText(m);
    return view;
}

TerminalBlockView DecodeTerminalBlock(const ConfigImage& image, DecodedArrays& arrays) {
    TerminalBlockView view;
    const int used = arrays.UsedPorts();
    view.DecodedPorts = used;
    for (int p = 1; p <= used; ++p) {
        const std::size_t i = std::size_t(p - 1);
        const ConstPortRecord record = image.Port(p);
        PortRowView& row = view.Ports[i];

        arrays.PermissionIndex[i] = record.Permission();
        row.Berechtigung = PermissionName(arrays.PermissionIndex[i]);
        arrays.ServiceIndex[i] = record.Service();
        row.Dienst = ServiceName(arrays.ServiceIndex[i]);
        arrays.OutsideLineFlag[i] = record.OutsideLine();
        row.Amtsholung = arrays.OutsideLineFlag[i];
        arrays.PulseFlag[i] = record.Pulse();
        row.Impuls = arrays.PulseFlag[i];

        const int target = record.ForwardingPort();
        row.Rufumleitung = target >= FirstPortNumber && target < FirstPortNumber + used
                               ? QString::number(target)
                               : record.ForwardingNumberText();
    }
    for (int m = 0; m < MsnSlots; ++m) {
        const std::uint8_t mask = image.AssignmentMask(m);
        for (int p = 1; p <= used; ++p) {
            const bool assigned = (mask >> (p - 1)) & 1;
            arrays.AssignmentMatrix[std::size_t(p - 1)][std::size_t(m)] = assigned;
            view.Ports[std::size_t(p - 1)].Zuordnung[std::size_t(m)] = assigned;
        }
    }
    return view;
}

} // namespace config
