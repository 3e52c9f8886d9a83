#include "ProductionSession.h"

#include "platform/Platform.h"
#include "db/ClockSetter.h"
#include "db/ProductionDb.h"
#include "meter/MeterInfo.h"
#include "meter/SettingsOwner.h"

namespace kelvar::db {

namespace {
const QString StoppedTitle = QStringLiteral("Приложение остановлено");
const QString DbErrorTitle = QStringLiteral("Ошибка БД");
const QString WriteErrorTitle = QStringLiteral("Ошибка записи в БД");
const QString NotDescribedText = QStringLiteral("Номер прибора не описан в БД. Установите его.");
const QString WriteErrorText = QStringLiteral("Ошибка записи в БД: ");
} // namespace

bool SystemClockSetter::setLocalTime(const QDateTime &localTime)
{
    return platform::setLocalTime(localTime);
}

ProductionSession::ProductionSession(ProductionDb &db, QObject *parent)
    : QObject(parent)
    , m_db(db)
    , m_computer(platform::computerName())
    , m_login(platform::userName())
{
}

void ProductionSession::attach(meter::SettingsOwner &settings, meter::MeterInfo &info,
                               std::function<meter::SettingsValues()> values)
{
    info.setLastSetTimeLookup([this](quint32 number) { return LastSetTime(number); });
    settings.setSyncClockFromServer([this] { return SyncClockFromServer(true); });
    settings.setRecordSettingsOperation([this, &info, values = std::move(values)] {
        const meter::SettingsValues shown = values ? values() : meter::SettingsValues{};
        RecordSettingsOperation(info.state().MeterNumber, shown.number, shown, MeterSnapshot::of(info));
    });
}

void ProductionSession::setWorkstation(const QString &computer, const QString &login)
{
    m_computer = computer;
    m_login = login;
}

ProductionSession::Check ProductionSession::identify(QString *problem)
{
    const auto stop = [&](const QString &text) {
        *problem = text;
        return Check::Stopped;
    };
    const auto error = [&] {
        *problem = m_db.lastError();
        return Check::Failed;
    };
    // Each step starts from "not found", so a failed step leaves 0 behind.
    ComputerId = PersonId = PlantId = 0;
    const std::optional<int> computer = m_db.computerId(m_computer);
    if (!computer)
        return error();
    ComputerId = *computer;
    if (ComputerId == 0)
        return stop(QStringLiteral("Компьютер \"%1\" не описан в БД.").arg(m_computer));

    const std::optional<int> person = m_db.personId(m_login);
    if (!person)
        return error();
    PersonId = *person;
    if (PersonId == 0)
        return stop(QStringLiteral("Пользователь \"%1\" не описан в БД.").arg(m_login));

    const std::optional<int> plant = m_db.plantId(ComputerId);
    if (!plant)
        return error();
    PlantId = *plant;
    if (PlantId == 0)
        return stop(QStringLiteral("Установка не описана в БД."));
    return Check::Passed;
}

ProductionSession::Check ProductionSession::FormActivate()
{
    QString problem;
    const Check check = identify(&problem);
    if (check == Check::Stopped) {
        emit message(Icon::Warning, StoppedTitle, problem);
        return check;
    }
    if (check == Check::Failed) {
        emit message(Icon::Error, DbErrorTitle, problem);
        return check;
    }
    SyncClockFromServer();
    return Check::Passed;
}

bool ProductionSession::SyncClockFromServer(bool reportByMessage)
{
    const std::optional<QDateTime> time = m_db.serverTime();
    if (!time) {
        emit protocolLine(QStringLiteral("Ошибка БД при чтении времени сервера: %1").arg(m_db.lastError()));
        if (reportByMessage)
            emit message(Icon::Error, DbErrorTitle, m_db.lastError());
        return false;
    }
    // Without the right to set the clock the workstation keeps its own time.
    if (m_clock)
        m_clock->setLocalTime(*time);
    return true;
}

QDateTime ProductionSession::LastSetTime(quint32 number)
{
    const std::optional<QDateTime> time = m_db.lastSetTime(number, MeterTypeId);
    if (!time) {
        emit protocolLine(QStringLiteral("Ошибка БД при чтении времени последней установки: %1").arg(m_db.lastError()));
        return {};
    }
    return *time;
}

ProductionSession::Record ProductionSession::record(quint32 number, const OperationRecord &row)
{
    m_lastRecord = {};
    // A workstation that could not be identified at start (server down then)
    // is identified now, so no row is ever written without plant and operator.
    if (!identified()) {
        QString problem;
        if (identify(&problem) != Check::Passed) {
            emit message(Icon::Error, DbErrorTitle, WriteErrorText + problem);
            return Record::Failed;
        }
    }
    const std::optional<int> electroId = m_db.electroId(number, MeterTypeId);
    if (!electroId) {
        emit message(Icon::Error, DbErrorTitle, m_db.lastError());
        return Record::Failed;
    }
    if (*electroId == 0) {
        emit message(Icon::Error, WriteErrorTitle, NotDescribedText);
        return Record::NotDescribed;
    }
    const std::optional<int> operationId = m_db.insertOperationRecord(*electroId, {PlantId, PersonId}, row);
    if (!operationId) {
        emit message(Icon::Error, DbErrorTitle, WriteErrorText + m_db.lastError());
        return Record::Failed;
    }
    m_lastRecord = {number, *operationId};
    return Record::Recorded;
}

ProductionSession::Record ProductionSession::RecordSettingsOperation(quint32 meterNumber, quint32 fieldNumber,
                                                                     const meter::SettingsValues &values,
                                                                     const MeterSnapshot &meter)
{
    return record(meterNumber != 0 ? meterNumber : fieldNumber, buildOperationRecord(meter, &values));
}

ProductionSession::Record ProductionSession::ActionFixDbExecute(quint32 fieldNumber, const MeterSnapshot &meter)
{
    return record(fieldNumber, buildOperationRecord(meter, nullptr));
}

} // namespace kelvar::db
