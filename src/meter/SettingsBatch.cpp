#include "SettingsBatch.h"

#include "common/TextFormat.h"
#include "link/Catalogue.h"

namespace kelvar::meter {

QString defaultPasswordText()
{
    return QString::number(DefaultPassword);
}

std::optional<quint32> readAccessPassword(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value == -1)
        return std::nullopt;
    // A negative number other than -1 goes out as its 16-bit two's complement.
    return static_cast<quint32>(value);
}

bool isNewPasswordText(const QString &text)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    return ok && value >= 0 && value <= 0xFFFFFFFFLL;
}

quint32 readNewPassword(const QString &text)
{
    return isNewPasswordText(text) ? static_cast<quint32>(text.toLongLong()) : quint32(DefaultPassword);
}

const QStringList &protocolTexts()
{
    static const QStringList texts{QStringLiteral("Rs-485"), QStringLiteral("MODBUS")};
    return texts;
}

const QStringList &baudTexts()
{
    static const QStringList texts{QStringLiteral("4800"), QStringLiteral("9600"), QStringLiteral("19200"),
                                   QStringLiteral("38400")};
    return texts;
}

const QStringList &parityTexts()
{
    static const QStringList texts{QStringLiteral("нет"), QStringLiteral("четн."), QStringLiteral("нечетн.")};
    return texts;
}

const QStringList &displayItemTexts()
{
    static const QStringList texts{
        QStringLiteral("суммарные показания"),
        QStringLiteral("показания на РДЧ "),
        QStringLiteral("дата / время"),
        QStringLiteral("мощность"),
        QStringLiteral("автопереключение через 10 сек"),
        QStringLiteral("фазные значения потребления"),
    };
    return texts;
}

QString unwritableDescriptionText(const QString &characters)
{
    QStringList quoted;
    for (const char32_t codePoint : characters.toUcs4())
        quoted << QStringLiteral("\u00AB") + QString::fromUcs4(&codePoint, 1) + QStringLiteral("\u00BB");
    return QStringLiteral("Описание не записано: счетчик не может хранить символы ") + quoted.join(QStringLiteral(", "));
}

bool SettingsValues::anyTicked() const
{
    return writeLink || writeTime || writeBilling || resetTariff || writeIntegration || writeDescription
        || writePassword || writeDisplay;
}

AccessStep accessPasswordStep(const WriteAccess &access)
{
    AccessStep step;
    if (access.passwordAccepted)
        return step;
    const std::optional<quint32> password = readAccessPassword(access.accessPassword);
    if (!password)
        step.refused = true;
    else
        step.request = link::passwordRequest(*password);
    return step;
}

SettingsBatch buildSettingsBatch(const SettingsValues &v, const WriteAccess &access, quint32 meterNumber)
{
    using namespace link;
    SettingsBatch batch;
    if (!v.anyTicked())
        return batch;

    const AccessStep step = accessPasswordStep(access);
    if (step.refused) {
        batch.outcome = SettingsBatch::Outcome::InvalidPassword;
        return batch;
    }
    // The meter stores the description in Windows-1251: a character outside
    // it would arrive as "?" while the log showed the text as typed.
    if (v.writeDescription) {
        batch.unwritable = text::outsideCp1251(v.description);
        if (!batch.unwritable.isEmpty()) {
            batch.outcome = SettingsBatch::Outcome::UnwritableDescription;
            return batch;
        }
    }
    batch.outcome = SettingsBatch::Outcome::Write;
    batch.passwordRequest = step.request;

    QList<QByteArray> &w = batch.writes;
    if (v.writeTime) {
        const QTime t(v.time.hour(), v.time.minute(), v.time.second());
        w << writeTimeRequest(QDateTime(v.date, t), v.summerTime);
    }
    if (v.writePassword)
        w << passwordRequest(readNewPassword(v.newPassword));
    if (v.number > 0 && meterNumber == 0)
        w << writeNumberRequest(v.number);
    if (v.writeBilling)
        w << writeBillingRequest(v.billingDay, v.billingHour);
    if (v.writeDisplay)
        w << writeDisplayRequest(v.displayMask & 0x3F);
    if (v.writeIntegration) {
        w << writeIntegrationRequest(v.peakMinutes);
        w << writeAveragingRequest(static_cast<quint8>(v.penaltySeconds));
    }
    if (v.resetTariff) {
        // Data-less writes empty holidays, transfers and the schedule; the
        // last one clears the readings stored at the billing date.
        w << clearHolidaysRequest() << clearTransfersRequest() << clearScheduleRequest()
          << request(fn::ResetBillingReadings);
    }
    if (v.writeDescription)
        w << writeDescriptionRequest(v.description);
    // Always last: every other request still travels with the old link parameters.
    if (v.writeLink) {
        const bool modbus = v.protocol == Protocol::Modbus;
        w << writeLinkRequest(static_cast<quint8>(v.newAddress), linkByte(v.baudIndex, modbus, v.parityIndex));
    }
    return batch;
}

QStringList confirmationLogLines(quint8 code, const SettingsValues &v, bool passwordAccepted)
{
    using namespace link;
    switch (code) {
    case fn::WriteNumber:
        return {QStringLiteral("Номер=") + QString::number(v.number)};
    case fn::WriteLink: {
        QStringList lines{QStringLiteral("Адрес=%1 Скорость=%2").arg(v.newAddress).arg(baudTexts().value(v.baudIndex))};
        if (v.protocol == Protocol::Modbus)
            lines << QStringLiteral("Паритет=") + parityTexts().value(v.parityIndex);
        return lines;
    }
    case fn::WriteTime: {
        const QTime t(v.time.hour(), v.time.minute(), v.time.second());
        return {QStringLiteral("Время=") + text::dateTime(QDateTime(v.date, t))
                + (v.summerTime ? QStringLiteral(" Автопереход на летнее время")
                                : QStringLiteral(" Нет автоперехода на летнее время"))};
    }
    case fn::WriteDisplay: {
        QString line = QStringLiteral("Режим индикации=");
        for (int bit = 0; bit < displayItemTexts().size(); ++bit) {
            if (v.displayMask & (1u << bit))
                line += displayItemTexts().at(bit) + QLatin1Char(' ');
        }
        return {line};
    }
    case fn::Password:
        if (!passwordAccepted)
            return {};
        // The password as sent: an empty field sends the default.
        return {QStringLiteral("Пароль на запись=") + QString::number(readNewPassword(v.newPassword))};
    case fn::WriteIntegration:
        return {QStringLiteral("Время интегрирования детектора пиковой можщности=") + QString::number(v.peakMinutes)};
    case fn::WriteAveraging:
        return {QStringLiteral("Время интегрирования мощности при переходе на штрафной тариф=")
                + QString::number(v.penaltySeconds)};
    case fn::WriteBilling:
        return {QStringLiteral("Расчетный день=%1 Расчетный час=%2").arg(v.billingDay).arg(v.billingHour)};
    case fn::ResetBillingReadings:
        return {QStringLiteral("Сброс показаний на РДЧ")};
    case fn::WriteDescription:
        return {QStringLiteral("Описание=") + v.description};
    default:
        return {};
    }
}

} // namespace kelvar::meter
