#include "AppSettings.h"

#include <QSettings>

namespace kelvar::app {

QSettings *AppSettings::openStore()
{
    return new QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kelvar"),
                         QStringLiteral("Kelvar-517"));
}

namespace {

// The key as stored, found without regard to case (registry names are not
// case-sensitive; the settings file on Linux is).
QString findKey(const QSettings &store, const QString &name)
{
    const QStringList keys = store.childKeys();
    for (const QString &key : keys) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return key;
    }
    return {};
}

void readInt(const QSettings &store, const QString &name, int low, int high, int *target)
{
    const QString key = findKey(store, name);
    if (key.isEmpty())
        return;
    bool ok = false;
    const int value = store.value(key).toInt(&ok);
    if (ok)
        *target = qBound(low, value, high);
}

void readText(const QSettings &store, const QString &name, QString *target)
{
    const QString key = findKey(store, name);
    if (!key.isEmpty())
        *target = store.value(key).toString();
}

bool present(const QSettings &store, const QString &name)
{
    return !findKey(store, name).isEmpty();
}

} // namespace

void AppSettings::load(QSettings &store)
{
    readInt(store, QStringLiteral("Address"), 0, 255, &address);
    readInt(store, QStringLiteral("Port"), 0, 255, &port);
    readText(store, QStringLiteral("PortName"), &portName);
    readInt(store, QStringLiteral("Scaner"), 0, 255, &scaner);
    readText(store, QStringLiteral("ScanerName"), &scanerName);
    readInt(store, QStringLiteral("BaudRate"), 0, 3, &baudIndex);
    readInt(store, QStringLiteral("Timeout"), 200, 30000, &timeout);
    readInt(store, QStringLiteral("Pause"), 0, 50, &pause);
    readInt(store, QStringLiteral("Parity"), 0, 2, &parity);
    readInt(store, QStringLiteral("Mode"), 0, 1, &mode);
    master = present(store, QStringLiteral("Master"));
    calibr = present(store, QStringLiteral("Calibr"));
    const QString scanKey = findKey(store, QStringLiteral("Scan"));
    if (!scanKey.isEmpty()) {
        const QVariant value = store.value(scanKey);
        bool ok = false;
        const int number = value.toInt(&ok);
        scan = ok ? number != 0 : value.toBool();
    }
}

void AppSettings::save(QSettings &store) const
{
    // One spelling per value: drop a differently cased twin left by an older
    // writer, so the next start cannot read a stale one.
    const auto write = [&store](const QString &name, const QVariant &value) {
        const QString existing = findKey(store, name);
        if (!existing.isEmpty() && existing != name)
            store.remove(existing);
        store.setValue(name, value);
    };
    if (port != 0)
        write(QStringLiteral("Address"), address);
    write(QStringLiteral("Port"), port);
    write(QStringLiteral("PortName"), portName);
    write(QStringLiteral("Baudrate"), baudIndex);
    write(QStringLiteral("Timeout"), timeout);
    write(QStringLiteral("Pause"), pause);
    write(QStringLiteral("Parity"), parity);
    write(QStringLiteral("Mode"), mode);
    write(QStringLiteral("Scaner"), scaner);
    write(QStringLiteral("ScanerName"), scanerName);
    write(QStringLiteral("Scan"), scan ? 1 : 0);
    store.sync();
}

int portNumber(const QString &portName)
{
    bool ok = false;
    const int number = portName.mid(3).toInt(&ok);
    return ok && portName.size() > 3 ? number : -1;
}

} // namespace kelvar::app
