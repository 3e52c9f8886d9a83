#include "MeterState.h"

#include "common/TextFormat.h"
#include "link/Encoding.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace kelvar::sim {

namespace {

QByteArray zoneRecord(quint8 tariff, quint8 hour, quint8 minute)
{
    QByteArray record;
    const quint8 code = static_cast<quint8>((tariff - 1) | ((tariff - 1) << 4));
    record.append(static_cast<char>(code));
    record.append(static_cast<char>(link::bcdEncode(hour)));
    record.append(static_cast<char>(link::bcdEncode(minute)));
    record.append('\0');                        // no power limit
    record.append(static_cast<char>(0xFF));     // every day type
    record.append(static_cast<char>(0xFF));     // every month
    record.append(static_cast<char>(0x0F));
    return record;
}

const int DefaultHolidays[][2] = {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {7, 1},
                                  {23, 2}, {8, 3}, {1, 5}, {9, 5}, {12, 6}, {4, 11}};

constexpr qint64 U32 = 0xFFFFFFFFLL;

QString hexOf(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex()); }

template <typename T, std::size_t N>
QJsonArray arrayOf(const std::array<T, N> &values)
{
    QJsonArray array;
    for (const T &v : values)
        array.append(static_cast<double>(v));
    return array;
}

// Reading with validation: every reader records the first problem it meets.
class Reader {
public:
    explicit Reader(const QJsonObject &json) : m_json(json) {}
    QString error;

    template <typename T>
    void integer(const char *key, T &target, qint64 min, qint64 max)
    {
        if (!m_json.contains(QLatin1String(key)))
            return;
        const QJsonValue v = m_json.value(QLatin1String(key));
        const double d = v.toDouble(-1e300);
        if (!v.isDouble() || d != static_cast<double>(static_cast<qint64>(d)) || d < min || d > max)
            return fail(key);
        target = static_cast<T>(static_cast<qint64>(d));
    }
    void real(const char *key, double &target, double min, double max)
    {
        if (!m_json.contains(QLatin1String(key)))
            return;
        const QJsonValue v = m_json.value(QLatin1String(key));
        if (!v.isDouble() || v.toDouble() < min || v.toDouble() > max)
            return fail(key);
        target = v.toDouble();
    }
    void flag(const char *key, bool &target)
    {
        if (!m_json.contains(QLatin1String(key)))
            return;
        const QJsonValue v = m_json.value(QLatin1String(key));
        if (!v.isBool())
            return fail(key);
        target = v.toBool();
    }
    template <typename T, std::size_t N>
    void numbers(const char *key, std::array<T, N> &target, double min, double max)
    {
        if (!m_json.contains(QLatin1String(key)))
            return;
        const QJsonArray a = m_json.value(QLatin1String(key)).toArray();
        if (a.size() != static_cast<qsizetype>(N))
            return fail(key);
        std::array<T, N> values{};
        for (std::size_t i = 0; i < N; ++i) {
            if (!a[i].isDouble() || a[i].toDouble() < min || a[i].toDouble() > max)
                return fail(key);
            values[i] = static_cast<T>(a[i].toDouble());
        }
        target = values;
    }
    bool bytes(const QJsonValue &v, QByteArray &target, int size, const char *key)
    {
        const QString text = v.toString();
        const QByteArray raw = QByteArray::fromHex(text.toLatin1());
        if (!v.isString() || raw.size() != size || raw.toHex() != text.toLower().toLatin1()) {
            fail(key);
            return false;
        }
        target = raw;
        return true;
    }
    template <std::size_t N>
    void table(const char *key, std::array<QByteArray, N> &target, int size)
    {
        if (!m_json.contains(QLatin1String(key)))
            return;
        const QJsonArray a = m_json.value(QLatin1String(key)).toArray();
        if (a.size() != static_cast<qsizetype>(N))
            return fail(key);
        std::array<QByteArray, N> values;
        for (std::size_t i = 0; i < N; ++i)
            if (!bytes(a[i], values[i], size, key))
                return;
        target = values;
    }
    // An array of fixed-size arrays of numbers, each made into an entry.
    template <typename Entry, typename Make>
    void entries(const char *key, QList<Entry> &target, qsizetype fields, Make make)
    {
        for (const QJsonValue &v : m_json.value(QLatin1String(key)).toArray()) {
            const QJsonArray e = v.toArray();
            if (e.size() != fields || target.size() >= JournalCapacity)
                return fail(key);
            target.append(make(e));
        }
    }
    // An object keyed by numbers whose values are objects read into records.
    template <typename Record, typename Read>
    void records(const char *key, QMap<quint32, Record> &target, Read read)
    {
        const QJsonObject object = m_json.value(QLatin1String(key)).toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            Reader inner(it.value().toObject());
            Record record;
            read(inner, record);
            bool ok = false;
            const quint32 number = it.key().toUInt(&ok);
            if (!ok || !inner.error.isEmpty())
                return fail(key);
            target.insert(number, record);
        }
    }
    void fail(const char *key)
    {
        if (error.isEmpty())
            error = QStringLiteral("bad value for \"%1\"").arg(QLatin1String(key));
    }
    const QJsonObject &json() const { return m_json; }

private:
    const QJsonObject m_json;
};

} // namespace

MeterState::MeterState()
{
    setFactorySchedule();
}

void MeterState::setFactorySchedule()
{
    zones.fill(QByteArray());
    zones[2] = zoneRecord(2, 0, 0);
    zones[3] = zoneRecord(1, 7, 0);
    zones[4] = zoneRecord(2, 23, 0);
    holidays.fill(QByteArray(2, '\0'));
    int i = 0;
    for (const auto &h : DefaultHolidays) {
        holidays[i].clear();
        holidays[i].append(static_cast<char>(link::bcdEncode(h[0])));
        holidays[i].append(static_cast<char>(link::bcdEncode(h[1])));
        ++i;
    }
    transfers.fill(QByteArray(4, '\0'));
    limitCoefficient = 1;
}

quint16 MeterState::scheduleChecksum() const
{
    QByteArray image;
    for (int slot = 0; slot < ZoneSlotCount; ++slot) {
        if (zones[slot].isEmpty())
            continue;
        image.append(static_cast<char>(slot));
        image.append(zones[slot]);
    }
    for (const QByteArray &h : holidays)
        image.append(h);
    for (const QByteArray &t : transfers)
        image.append(t);
    image.append(static_cast<char>(limitCoefficient));
    return link::crc16(image);
}

void MeterState::addSettingsEntry(quint32 time, quint8 parameter)
{
    settingsJournal.prepend({time, parameter, corrections});
    while (settingsJournal.size() > JournalCapacity)
        settingsJournal.removeLast();
}

void MeterState::addPowerEntry(quint32 time, quint8 event)
{
    powerJournal.prepend({time, event});
    while (powerJournal.size() > JournalCapacity)
        powerJournal.removeLast();
}

QJsonObject MeterState::toJson() const
{
    QJsonObject o;
    o["serialNumber"] = static_cast<double>(serialNumber);
    o["modelCode"] = static_cast<double>(modelCode);
    o["versionMajor"] = versionMajor;
    o["versionMinor"] = versionMinor;
    o["address"] = address;
    o["baudIndex"] = baudIndex;
    o["protocol"] = protocol == link::Protocol::Modbus ? "modbus" : "rs485";
    o["parity"] = parity;
    o["password"] = password;
    o["accessTimeoutSec"] = accessTimeoutSec;
    o["clockOffset"] = static_cast<double>(clockOffset);
    o["timeNotSet"] = timeNotSet;
    o["clockFault"] = clockFault;
    o["summerTime"] = summerTime;
    o["billingDay"] = billingDay;
    o["billingHour"] = billingHour;
    o["displayMask"] = displayMask;
    o["integrationMinutes"] = integrationMinutes;
    o["averagingSeconds"] = averagingSeconds;
    o["description"] = hexOf(description);
    o["descriptionText"] = text::fromCp1251(description.left(description.indexOf('\0') < 0
                                                                  ? description.size()
                                                                  : description.indexOf('\0')));
    o["calibration"] = arrayOf(calibration);
    o["calibrationDate"] = static_cast<double>(calibrationDate);
    o["temperature"] = temperature;
    o["loadKw"] = loadKw;
    o["tariffCounts"] = arrayOf(tariffCounts);
    o["phaseCounts"] = arrayOf(phaseCounts);
    o["billingCounts"] = arrayOf(billingCounts);
    o["peakPower"] = static_cast<double>(peakPower);
    o["peakTime"] = static_cast<double>(peakTime);
    o["billingPeakPower"] = static_cast<double>(billingPeakPower);
    o["billingPeakTime"] = static_cast<double>(billingPeakTime);
    o["workingHalfMinutes"] = workingHalfMinutes;
    o["corrections"] = corrections;
    QJsonObject zoneObject;
    for (int slot = 0; slot < ZoneSlotCount; ++slot)
        if (!zones[slot].isEmpty())
            zoneObject[QString::number(slot)] = hexOf(zones[slot]);
    o["zones"] = zoneObject;
    QJsonArray h, t;
    for (const QByteArray &e : holidays)
        h.append(hexOf(e));
    for (const QByteArray &e : transfers)
        t.append(hexOf(e));
    o["holidays"] = h;
    o["transfers"] = t;
    o["limitCoefficient"] = limitCoefficient;
    o["seed"] = static_cast<double>(seed);
    o["birth"] = static_cast<double>(birth);
    o["lastAdvance"] = lastAdvance;
    QJsonArray settings, powerEntries;
    for (const SettingsEntry &e : settingsJournal)
        settings.append(QJsonArray{static_cast<double>(e.time), e.parameter, e.counter});
    for (const PowerEntry &e : powerJournal)
        powerEntries.append(QJsonArray{static_cast<double>(e.time), e.event});
    o["settingsJournal"] = settings;
    o["powerJournal"] = powerEntries;
    QJsonObject dayObject;
    for (auto it = days.begin(); it != days.end(); ++it) {
        QJsonObject d;
        if (it->hasStart)
            d["start"] = arrayOf(it->startCounts);
        d["increments"] = arrayOf(it->increments);
        dayObject[QString::number(it.key())] = d;
    }
    o["days"] = dayObject;
    QJsonObject monthObject;
    for (auto it = months.begin(); it != months.end(); ++it) {
        QJsonObject m;
        m["counts"] = arrayOf(it->counts);
        m["workingHalfMinutes"] = static_cast<double>(it->workingHalfMinutes);
        m["peakTime"] = static_cast<double>(it->peakTime);
        m["peakPower"] = static_cast<double>(it->peakPower);
        monthObject[QString::number(it.key())] = m;
    }
    o["months"] = monthObject;
    return o;
}

bool MeterState::fromJson(const QJsonObject &json, MeterState *state, QString *error)
{
    MeterState s;
    Reader r(json);
    r.integer("serialNumber", s.serialNumber, 0, 131071);
    r.integer("modelCode", s.modelCode, 0, 999999);
    r.integer("versionMajor", s.versionMajor, 0, 99);
    r.integer("versionMinor", s.versionMinor, 0, 99);
    r.integer("address", s.address, 0, 255);
    r.integer("baudIndex", s.baudIndex, 0, 3);
    if (json.contains("protocol")) {
        const QString p = json.value("protocol").toString();
        if (p == "rs485")
            s.protocol = link::Protocol::Rs485;
        else if (p == "modbus")
            s.protocol = link::Protocol::Modbus;
        else
            r.fail("protocol");
    }
    r.integer("parity", s.parity, 0, 2);
    r.integer("password", s.password, 0, 65535);
    r.integer("accessTimeoutSec", s.accessTimeoutSec, 0, 1000000);
    r.integer("clockOffset", s.clockOffset, -U32, U32);
    r.flag("timeNotSet", s.timeNotSet);
    r.flag("clockFault", s.clockFault);
    r.flag("summerTime", s.summerTime);
    r.integer("billingDay", s.billingDay, 1, 31);
    r.integer("billingHour", s.billingHour, 0, 23);
    r.integer("displayMask", s.displayMask, 0, 63);
    r.integer("integrationMinutes", s.integrationMinutes, 1, 60);
    r.integer("averagingSeconds", s.averagingSeconds, 0, 255);
    if (json.contains("description"))
        r.bytes(json.value("description"), s.description, 48, "description");
    else if (json.contains("descriptionText"))
        s.description = text::toCp1251(json.value("descriptionText").toString()).left(48).leftJustified(48, '\0');
    r.numbers("calibration", s.calibration, -32768, 32767);
    r.integer("calibrationDate", s.calibrationDate, 0, U32);
    r.integer("temperature", s.temperature, -128, 127);
    r.real("loadKw", s.loadKw, 0, 100000);
    r.numbers("tariffCounts", s.tariffCounts, 0, U32);
    r.numbers("phaseCounts", s.phaseCounts, 0, U32);
    r.numbers("billingCounts", s.billingCounts, 0, U32);
    r.integer("peakPower", s.peakPower, 0, 0xFFFFFF);
    r.integer("peakTime", s.peakTime, 0, U32);
    r.integer("billingPeakPower", s.billingPeakPower, 0, 0xFFFFFF);
    r.integer("billingPeakTime", s.billingPeakTime, 0, U32);
    r.real("workingHalfMinutes", s.workingHalfMinutes, 0, 0xFFFFFF);
    r.integer("corrections", s.corrections, 0, 255);
    if (json.contains("zones")) {
        const QJsonObject z = json.value("zones").toObject();
        s.zones.fill(QByteArray());
        for (auto it = z.begin(); it != z.end(); ++it) {
            bool ok = false;
            const int slot = it.key().toInt(&ok);
            if (!ok || slot < 0 || slot >= ZoneSlotCount) {
                r.fail("zones");
                break;
            }
            r.bytes(it.value(), s.zones[slot], 7, "zones");
        }
    }
    r.table("holidays", s.holidays, 2);
    r.table("transfers", s.transfers, 4);
    r.integer("limitCoefficient", s.limitCoefficient, 0, 255);
    r.integer("seed", s.seed, 0, U32);
    r.integer("birth", s.birth, 0, U32);
    r.real("lastAdvance", s.lastAdvance, 0, static_cast<double>(U32));
    r.entries("settingsJournal", s.settingsJournal, 3, [](const QJsonArray &e) {
        return SettingsEntry{static_cast<quint32>(e[0].toDouble()), static_cast<quint8>(e[1].toInt()),
                             static_cast<quint8>(e[2].toInt())};
    });
    r.entries("powerJournal", s.powerJournal, 2, [](const QJsonArray &e) {
        return PowerEntry{static_cast<quint32>(e[0].toDouble()), static_cast<quint8>(e[1].toInt())};
    });
    r.records("days", s.days, [](Reader &d, DayRecord &record) {
        record.hasStart = d.json().contains("start");
        d.numbers("start", record.startCounts, 0, U32);
        d.numbers("increments", record.increments, 0, U32);
    });
    r.records("months", s.months, [](Reader &m, MonthRecord &record) {
        m.numbers("counts", record.counts, 0, U32);
        m.integer("workingHalfMinutes", record.workingHalfMinutes, 0, 0xFFFFFF);
        m.integer("peakTime", record.peakTime, 0, U32);
        m.integer("peakPower", record.peakPower, 0, 0xFFFFFF);
    });
    if (!r.error.isEmpty()) {
        if (error)
            *error = r.error;
        return false;
    }
    *state = s;
    return true;
}

bool MeterState::save(const QString &path, QString *error) const
{
    // Written to a temporary file and renamed, so a crash never leaves half a state.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    file.write(QJsonDocument(toJson()).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool MeterState::load(const QString &path, MeterState *state, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!doc.isObject()) {
        if (error)
            *error = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                                   : QStringLiteral("not a JSON object");
        return false;
    }
    return fromJson(doc.object(), state, error);
}

} // namespace kelvar::sim
