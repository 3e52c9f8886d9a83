#include "SettingsTemplate.h"

#include "common/TextFormat.h"
#include "link/Catalogue.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QStringDecoder>

namespace kelvar::meter {

namespace {

const QString ClockFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");
const QString Workstation = QStringLiteral("workstation");

// The keys in their canonical order.
namespace key {
const QString Protocol = QStringLiteral("protocol");
const QString Address = QStringLiteral("address");
const QString Baud = QStringLiteral("baud");
const QString Parity = QStringLiteral("parity");
const QString Clock = QStringLiteral("clock");
const QString SummerTime = QStringLiteral("summer_time");
const QString BillingDay = QStringLiteral("billing_day");
const QString BillingHour = QStringLiteral("billing_hour");
const QString Display = QStringLiteral("display");
const QString PeakMinutes = QStringLiteral("peak_minutes");
const QString PenaltySeconds = QStringLiteral("penalty_seconds");
const QString Description = QStringLiteral("description");
const QString Password = QStringLiteral("password");
const QString Number = QStringLiteral("number");
const QString ResetSchedule = QStringLiteral("reset_schedule");
} // namespace key

const QStringList &allKeys()
{
    static const QStringList keys{key::Protocol,    key::Address,      key::Baud,          key::Parity,
                                  key::Clock,       key::SummerTime,   key::BillingDay,    key::BillingHour,
                                  key::Display,     key::PeakMinutes,  key::PenaltySeconds, key::Description,
                                  key::Password,    key::Number,       key::ResetSchedule};
    return keys;
}

const QStringList &protocolKeys()
{
    static const QStringList keys{QStringLiteral("rs485"), QStringLiteral("modbus")};
    return keys;
}

const QStringList &parityKeys()
{
    static const QStringList keys{QStringLiteral("none"), QStringLiteral("even"), QStringLiteral("odd")};
    return keys;
}

QString yesNo(bool on)
{
    return on ? QStringLiteral("yes") : QStringLiteral("no");
}

QString protocolText(link::Protocol protocol)
{
    return protocolKeys().at(protocol == link::Protocol::Modbus ? 1 : 0);
}

QString displayText(int mask)
{
    QStringList items;
    for (int bit = 0; bit < displayItemKeys().size(); ++bit) {
        if (mask & (1 << bit))
            items << displayItemKeys().at(bit);
    }
    return items.join(QStringLiteral(", "));
}

QString clockText(const QDateTime &time)
{
    return time.toString(ClockFormat);
}

struct Entry {
    QString value;
    int line = 0;
};

// Reads the values of a parsed text; the first failure is kept.
class Reader
{
public:
    explicit Reader(const QHash<QString, Entry> &entries) : m_entries(entries) {}

    bool has(const QString &k) const { return m_entries.contains(k); }
    QString error() const { return m_error; }
    bool failed() const { return !m_error.isEmpty(); }

    void fail(const QString &k, const QString &what)
    {
        if (m_error.isEmpty())
            m_error = QStringLiteral("line %1: %2: %3").arg(m_entries.value(k).line).arg(k, what);
    }

    int integer(const QString &k, int min, int max)
    {
        bool ok = false;
        const QString text = m_entries.value(k).value;
        const qlonglong v = text.toLongLong(&ok);
        if (!ok || v < min || v > max) {
            fail(k, QStringLiteral("\"%1\" is not a whole number from %2 to %3").arg(text).arg(min).arg(max));
            return min;
        }
        return static_cast<int>(v);
    }

    int choice(const QString &k, const QStringList &choices)
    {
        const QString text = m_entries.value(k).value;
        const int index = choices.indexOf(text.toLower());
        if (index < 0)
            fail(k, QStringLiteral("\"%1\" is not one of %2").arg(text, choices.join(QStringLiteral(", "))));
        return qMax(0, index);
    }

    bool flag(const QString &k) { return choice(k, {QStringLiteral("no"), QStringLiteral("yes")}) == 1; }

    QString text(const QString &k) const { return m_entries.value(k).value; }

    // Every key of a group, or none of them.
    bool group(const QStringList &keys)
    {
        QString present;
        for (const QString &k : keys) {
            if (has(k)) {
                present = k;
                break;
            }
        }
        if (present.isEmpty())
            return false;
        for (const QString &k : keys) {
            if (!has(k))
                fail(present, QStringLiteral("needs %1 as well").arg(k));
        }
        return true;
    }

private:
    const QHash<QString, Entry> &m_entries;
    QString m_error;
};

QString unquote(const QString &value)
{
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        return value.mid(1, value.size() - 2);
    return value;
}

} // namespace

const QStringList &displayItemKeys()
{
    static const QStringList keys{QStringLiteral("total"), QStringLiteral("billing"), QStringLiteral("clock"),
                                  QStringLiteral("power"), QStringLiteral("scroll"),  QStringLiteral("phases")};
    return keys;
}

bool SettingsTemplate::operator==(const SettingsTemplate &o) const
{
    const SettingsValues &a = values;
    const SettingsValues &b = o.values;
    if (fixedClock != o.fixedClock || a.writeLink != b.writeLink || a.writeTime != b.writeTime
        || a.writeBilling != b.writeBilling || a.resetTariff != b.resetTariff
        || a.writeIntegration != b.writeIntegration || a.writeDescription != b.writeDescription
        || a.writePassword != b.writePassword || a.writeDisplay != b.writeDisplay || a.number != b.number)
        return false;
    // Only the values the template names count.
    if (a.writeLink
        && (a.protocol != b.protocol || a.newAddress != b.newAddress || a.baudIndex != b.baudIndex
            || (a.protocol == link::Protocol::Modbus && a.parityIndex != b.parityIndex)))
        return false;
    if (a.writeTime && (a.summerTime != b.summerTime || (fixedClock && (a.date != b.date || a.time != b.time))))
        return false;
    if (a.writeBilling && (a.billingDay != b.billingDay || a.billingHour != b.billingHour))
        return false;
    if (a.writeDisplay && a.displayMask != b.displayMask)
        return false;
    if (a.writeIntegration && (a.peakMinutes != b.peakMinutes || a.penaltySeconds != b.penaltySeconds))
        return false;
    if (a.writeDescription && a.description != b.description)
        return false;
    if (a.writePassword && a.newPassword != b.newPassword)
        return false;
    return true;
}

std::optional<SettingsTemplate> parseTemplate(const QString &text, QString *error)
{
    const auto refuse = [error](const QString &message) {
        if (error)
            *error = message;
        return std::nullopt;
    };

    QHash<QString, Entry> entries;
    const QStringList lines = text.split(QLatin1Char('\n'));
    bool sectionSeen = false;
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (line.compare(QStringLiteral("[settings]"), Qt::CaseInsensitive) != 0 || sectionSeen
                || !entries.isEmpty())
                return refuse(QStringLiteral("line %1: unexpected section %2 (only one [settings] at the top)")
                                  .arg(lineNo)
                                  .arg(line));
            sectionSeen = true;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return refuse(QStringLiteral("line %1: expected key = value").arg(lineNo));
        const QString k = line.left(eq).trimmed().toLower();
        if (!allKeys().contains(k))
            return refuse(QStringLiteral("line %1: %2: unknown key").arg(lineNo).arg(k));
        if (entries.contains(k))
            return refuse(QStringLiteral("line %1: %2: given twice (first on line %3)")
                              .arg(lineNo)
                              .arg(k)
                              .arg(entries.value(k).line));
        entries.insert(k, {line.mid(eq + 1).trimmed(), lineNo});
    }

    Reader r(entries);
    SettingsTemplate tpl;
    SettingsValues &v = tpl.values;

    if (r.group({key::Protocol, key::Address, key::Baud})) {
        v.writeLink = true;
        v.protocol = r.choice(key::Protocol, protocolKeys()) == 1 ? link::Protocol::Modbus : link::Protocol::Rs485;
        v.newAddress = r.integer(key::Address, 0, 255);
        v.baudIndex = r.choice(key::Baud, baudTexts());
        if (r.has(key::Parity))
            v.parityIndex = r.choice(key::Parity, parityKeys());
        else if (v.protocol == link::Protocol::Modbus)
            r.fail(key::Protocol, QStringLiteral("modbus needs parity as well"));
    } else if (r.has(key::Parity)) {
        r.fail(key::Parity, QStringLiteral("needs protocol, address and baud as well"));
    }

    if (r.group({key::Clock, key::SummerTime})) {
        v.writeTime = true;
        v.summerTime = r.flag(key::SummerTime);
        const QString clock = r.text(key::Clock);
        if (clock.compare(Workstation, Qt::CaseInsensitive) != 0) {
            QString normal = clock;
            normal.replace(QLatin1Char('T'), QLatin1Char(' '));
            const QDateTime time = QDateTime::fromString(normal, ClockFormat);
            if (!time.isValid() || time.date().year() < 2000 || time.date().year() > 2099)
                r.fail(key::Clock, QStringLiteral("\"%1\" is neither workstation nor a date and time "
                                                  "YYYY-MM-DD hh:mm:ss in 2000..2099").arg(clock));
            tpl.fixedClock = true;
            v.date = time.date();
            v.time = time.time();
        }
    }

    if (r.group({key::BillingDay, key::BillingHour})) {
        v.writeBilling = true;
        v.billingDay = r.integer(key::BillingDay, 1, 31);
        v.billingHour = r.integer(key::BillingHour, 0, 23);
    }

    if (r.has(key::Display)) {
        v.writeDisplay = true;
        const QStringList items = r.text(key::Display).split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString &item : items) {
            const int bit = displayItemKeys().indexOf(item.trimmed().toLower());
            if (bit < 0) {
                r.fail(key::Display, QStringLiteral("\"%1\" is not one of %2")
                                         .arg(item.trimmed(), displayItemKeys().join(QStringLiteral(", "))));
                break;
            }
            v.displayMask |= quint8(1u << bit);
        }
    }

    if (r.group({key::PeakMinutes, key::PenaltySeconds})) {
        v.writeIntegration = true;
        v.peakMinutes = r.integer(key::PeakMinutes, 1, 60);
        v.penaltySeconds = r.integer(key::PenaltySeconds, 5, 60);
    }

    if (r.has(key::Description)) {
        v.writeDescription = true;
        v.description = unquote(r.text(key::Description));
        if (v.description.size() > link::DescriptionSize)
            r.fail(key::Description, QStringLiteral("longer than %1 characters").arg(link::DescriptionSize));
        else if (const QString odd = text::outsideCp1251(v.description); !odd.isEmpty())
            r.fail(key::Description, QStringLiteral("holds characters the meter cannot store: ") + odd);
    }

    if (r.has(key::Password)) {
        v.writePassword = true;
        // The meter keeps 16 bits; a larger number would be cut silently.
        v.newPassword = QString::number(r.integer(key::Password, 0, 65535));
    }

    if (r.has(key::Number))
        v.number = static_cast<quint32>(r.integer(key::Number, 1, 131071));

    if (r.has(key::ResetSchedule))
        v.resetTariff = r.flag(key::ResetSchedule);

    if (r.failed())
        return refuse(r.error());
    return tpl;
}

std::optional<SettingsTemplate> loadTemplate(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: cannot be read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decode(file.readAll());
    if (decode.hasError()) {
        if (error)
            *error = QStringLiteral("%1: not a UTF-8 text").arg(path);
        return std::nullopt;
    }
    QString why;
    auto tpl = parseTemplate(text, &why);
    if (!tpl && error)
        *error = path + QStringLiteral(":") + why.mid(why.indexOf(QLatin1Char(' ')) + 1);
    return tpl;
}

QString serialiseTemplate(const SettingsTemplate &tpl)
{
    const SettingsValues &v = tpl.values;
    QStringList out{QStringLiteral("; Kelvar 517 settings template"), QStringLiteral("[settings]")};
    const auto put = [&out](const QString &k, const QString &value) { out << k + QStringLiteral(" = ") + value; };
    if (v.writeLink) {
        put(key::Protocol, protocolText(v.protocol));
        put(key::Address, QString::number(v.newAddress));
        put(key::Baud, baudTexts().value(v.baudIndex));
        if (v.protocol == link::Protocol::Modbus)
            put(key::Parity, parityKeys().value(v.parityIndex));
    }
    if (v.writeTime) {
        put(key::Clock, tpl.fixedClock ? clockText(QDateTime(v.date, v.time)) : Workstation);
        put(key::SummerTime, yesNo(v.summerTime));
    }
    if (v.writeBilling) {
        put(key::BillingDay, QString::number(v.billingDay));
        put(key::BillingHour, QString::number(v.billingHour));
    }
    if (v.writeDisplay)
        put(key::Display, displayText(v.displayMask));
    if (v.writeIntegration) {
        put(key::PeakMinutes, QString::number(v.peakMinutes));
        put(key::PenaltySeconds, QString::number(v.penaltySeconds));
    }
    if (v.writeDescription)
        put(key::Description, QLatin1Char('"') + v.description + QLatin1Char('"'));
    if (v.writePassword)
        put(key::Password, QString::number(readNewPassword(v.newPassword) & 0xFFFF));
    if (v.number > 0)
        put(key::Number, QString::number(v.number));
    if (v.resetTariff)
        put(key::ResetSchedule, yesNo(true));
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool saveTemplate(const QString &path, const SettingsTemplate &tpl, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("%1: cannot be written: %2").arg(path, file.errorString());
        return false;
    }
    file.write(serialiseTemplate(tpl).toUtf8());
    if (!file.commit()) {
        if (error)
            *error = QStringLiteral("%1: cannot be written: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QList<ComparisonRow> compareTemplate(const SettingsTemplate &tpl, const MeterReading &m, const QDateTime &expectedClock)
{
    using State = ComparisonRow::State;
    const SettingsValues &v = tpl.values;
    QList<ComparisonRow> rows;
    // One row: the meter's text when known, compared as text with the template's.
    const auto row = [&rows](const QString &k, const std::optional<QString> &meter, const QString &expected) {
        rows.append({k, meter.value_or(QString()), expected,
                     !meter ? State::NotCompared : *meter == expected ? State::Match : State::Differs});
    };
    const auto number = [](const std::optional<int> &value) -> std::optional<QString> {
        return value ? std::optional<QString>(QString::number(*value)) : std::nullopt;
    };

    if (v.writeLink) {
        const auto &l = m.link;
        row(key::Protocol, l ? std::optional<QString>(protocolText(l->protocol)) : std::nullopt,
            protocolText(v.protocol));
        row(key::Address, l ? number(l->address) : std::nullopt, QString::number(v.newAddress));
        row(key::Baud, l ? std::optional<QString>(baudTexts().value(l->baudIndex)) : std::nullopt,
            baudTexts().value(v.baudIndex));
        if (v.protocol == link::Protocol::Modbus)
            row(key::Parity, l ? std::optional<QString>(parityKeys().value(l->parityIndex)) : std::nullopt,
                parityKeys().value(v.parityIndex));
    }
    if (v.writeTime) {
        const QString expected = tpl.fixedClock ? clockText(QDateTime(v.date, v.time)) : Workstation;
        ComparisonRow clock{key::Clock, m.clock ? clockText(*m.clock) : QString(), expected, State::NotCompared};
        if (m.clock && expectedClock.isValid()) {
            const qint64 off = qAbs(expectedClock.secsTo(*m.clock));
            clock.state = off <= ClockToleranceSeconds ? State::Match : State::Differs;
            if (clock.state == State::Differs)
                clock.expected += QStringLiteral(" (%1 then)").arg(clockText(expectedClock));
        }
        rows << clock;
        row(key::SummerTime, m.summerTime ? std::optional<QString>(yesNo(*m.summerTime)) : std::nullopt,
            yesNo(v.summerTime));
    }
    if (v.writeBilling) {
        row(key::BillingDay, number(m.billingDay), QString::number(v.billingDay));
        row(key::BillingHour, number(m.billingHour), QString::number(v.billingHour));
    }
    if (v.writeDisplay)
        row(key::Display, m.displayMask ? std::optional<QString>(displayText(*m.displayMask & 0x3F)) : std::nullopt,
            displayText(v.displayMask));
    if (v.writeIntegration) {
        row(key::PeakMinutes, number(m.peakMinutes), QString::number(v.peakMinutes));
        row(key::PenaltySeconds, number(m.penaltySeconds), QString::number(v.penaltySeconds));
    }
    if (v.writeDescription)
        row(key::Description, m.description, v.description);
    if (v.writePassword)
        rows.append({key::Password, QString(), QString::number(readNewPassword(v.newPassword) & 0xFFFF),
                     State::NotCompared});
    if (v.number > 0)
        row(key::Number, m.number ? std::optional<QString>(QString::number(*m.number)) : std::nullopt,
            QString::number(v.number));
    if (v.resetTariff)
        rows.append({key::ResetSchedule, QString(), yesNo(true), State::NotCompared});
    return rows;
}

bool allMatch(const QList<ComparisonRow> &rows)
{
    for (const ComparisonRow &r : rows) {
        if (r.state == ComparisonRow::State::Differs)
            return false;
    }
    return true;
}

} // namespace kelvar::meter
