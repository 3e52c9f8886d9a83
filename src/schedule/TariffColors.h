#pragma once
// The tariff colours kept machine-wide (the schedule key of the system scope:
// the registry under the local machine on Windows, /etc/xdg on Linux).
//
// Colours are stored as colour references 0x00BBGGRR, "Color1".."Color8";
// the editor reads all eight and writes the three it has buttons for. A key
// that cannot be read or written is passed over in silence: the colours are
// a convenience, never a reason to stop the operator.

#include <QSettings>

#include <array>
#include <memory>

namespace kelvar::schedule {

// ZoneColors: index 0 is tariff 1; 0 means "not stored".
using ZoneColors = std::array<quint32, 8>;

constexpr quint32 colorRef(int red, int green, int blue)
{
    return quint32(red & 0xFF) | quint32(green & 0xFF) << 8 | quint32(blue & 0xFF) << 16;
}
constexpr int colorRefRed(quint32 ref) { return int(ref & 0xFF); }
constexpr int colorRefGreen(quint32 ref) { return int(ref >> 8 & 0xFF); }
constexpr int colorRefBlue(quint32 ref) { return int(ref >> 16 & 0xFF); }

// The start colours of tariffs 1..3 (cream, sky blue, orange) and the gray of
// a tariff without a button (4..8).
constexpr std::array<quint32, 3> StartTariffColors{colorRef(0xFF, 0xFB, 0xF0), colorRef(0xA6, 0xCA, 0xF0),
                                                    colorRef(0xFF, 0x8C, 0x1A)};
constexpr quint32 OtherTariffColor = colorRef(0x80, 0x80, 0x80);
// The colours of tariffs 1..3 the editor paints with: the stored ones as soon
// as any of the eight is stored, the start colours otherwise.
std::array<quint32, 3> tariffColors(const ZoneColors &stored);

// The schedule key: QSettings(NativeFormat, SystemScope, "Kelvar", "Schedule").
std::unique_ptr<QSettings> openTariffColorStore();

// Each of "Color1".."Color8" that is present and a number; the others stay 0.
ZoneColors readZoneColors(QSettings &store);
// Writes "Color1".."Color3"; false, and nothing written, when the store
// cannot be written.
bool writeTariffColors(QSettings &store, const std::array<quint32, 3> &colors);

} // namespace kelvar::schedule
