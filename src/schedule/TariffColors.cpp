#include "TariffColors.h"

namespace kelvar::schedule {

namespace {

QString key(int n)
{
    return QStringLiteral("Color%1").arg(n);
}

} // namespace

std::unique_ptr<QSettings> openTariffColorStore()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("Kelvar"),
                                       QStringLiteral("Schedule"));
}

ZoneColors readZoneColors(QSettings &store)
{
    ZoneColors colors{};
    if (store.status() != QSettings::NoError)
        return colors;
    for (int n = 1; n <= int(colors.size()); ++n) {
        bool ok = false;
        const qlonglong value = store.value(key(n)).toLongLong(&ok);
        if (ok)
            colors[size_t(n - 1)] = quint32(value) & 0x00FFFFFF;
    }
    return colors;
}

std::array<quint32, 3> tariffColors(const ZoneColors &stored)
{
    for (quint32 c : stored) {
        if (c != 0)
            return {stored[0], stored[1], stored[2]};
    }
    return StartTariffColors;
}

bool writeTariffColors(QSettings &store, const std::array<quint32, 3> &colors)
{
    if (store.status() != QSettings::NoError || !store.isWritable())
        return false;
    for (int n = 1; n <= int(colors.size()); ++n)
        store.setValue(key(n), qlonglong(colors[size_t(n - 1)]));
    store.sync();
    return store.status() == QSettings::NoError;
}

} // namespace kelvar::schedule
