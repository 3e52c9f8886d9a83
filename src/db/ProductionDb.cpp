#include "ProductionDb.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <atomic>

namespace kelvar::db {

namespace sql {

const QString Computer = QStringLiteral("SELECT * FROM computer\n"
                                        "WHERE name = :name");
const QString Person = QStringLiteral("SELECT * FROM operator\n"
                                      "WHERE login = :login\n"
                                      "AND operating = 1");
const QString Plant = QStringLiteral("SELECT * FROM plant\n"
                                     "WHERE type_id = 3\n"
                                     "AND computer_id = :computer_id");
const QString Time = QStringLiteral("SELECT getdate()");
const QString CheckNumber = QStringLiteral("SELECT * FROM electrometer\n"
                                           "WHERE number = :number \n"
                                           "AND type_id = :type_id");
const QString Delta = QStringLiteral("SELECT MAX(date_time) FROM set_kelvar\n"
                                     "WHERE operation_id IN (SELECT operation_id FROM operation\n"
                                     "  WHERE electro_id = (SELECT electro_id FROM electrometer\n"
                                     "     WHERE number = :number AND type_id = :type_id))");
const QString Operation = QStringLiteral("INSERT INTO operation(type_id,electro_id,plant_id,person_id,success)\n"
                                         "VALUES(:type_id,:electro_id,:plant_id,:person_id,:success)");
const QString MaxOper = QStringLiteral("SELECT MAX(operation_id) FROM operation\n"
                                       "WHERE plant_id = :plant_id");
const QString OwnOperation = QStringLiteral("SELECT operation_id FROM operation\n"
                                            "WHERE operation_id = :operation_id\n"
                                            "AND plant_id = :plant_id AND electro_id = :electro_id");
const QString Ins = QStringLiteral(
    "INSERT INTO set_kelvar(operation_id,version,el_type,address,baud,turn_on,\n"
    "  status,date_time,summer,check_sum,pass,t,count_day,count_hour,ncorrect,\n"
    "  indicator,time_integ,ddm_a,ddm_b,ddm_c,mode_tarif,secperday)\n"
    "VALUES(:operation_id,:version,:el_type,:address,:baud,:turn_on,:status,\n"
    "  :date_time,:summer,:check_sum,:pass,:t,:count_day,:count_hour,:ncorrect,\n"
    "  :indicator,:time_integ,:ddm_a,:ddm_b,:ddm_c,:mode_tarif,:secperday)");

} // namespace sql

ProductionDb::ProductionDb(const QString &connectionName, const QString &dataSource)
    : m_connection(connectionName)
{
    if (m_connection.isEmpty()) {
        static std::atomic<int> count = 0;   // connections may be made on several threads
        m_connection = QStringLiteral("electrometer-%1").arg(++count);
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_connection);
    db.setDatabaseName(dataSource);
    // No login prompt (the driver manager never opens a dialog from a plain
    // data source name), and a server that does not answer costs at most
    // the time-out instead of the operating system's connect time-out.
    const QString seconds = QString::number(LoginTimeoutSeconds);
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%1").arg(seconds));
}

ProductionDb::~ProductionDb()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

bool ProductionDb::isOpen() const
{
    return QSqlDatabase::database(m_connection, false).isOpen();
}

bool ProductionDb::ensureOpen()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (db.isOpen()) {
        // A connection stays open between calls, and the server may have
        // been restarted since: a handle that no longer answers is replaced
        // before the call's own statements run, so that a write never meets
        // a dead connection it could have avoided.
        QSqlQuery ping(db);
        if (ping.exec(QStringLiteral("SELECT 1")))
            return true;
        db.close();
    }
    if (db.open())
        return true;
    m_error = db.lastError().text();
    if (m_error.trimmed().isEmpty())
        m_error = QStringLiteral("Нет связи с базой данных \"%1\"").arg(db.databaseName());
    return false;
}

bool ProductionDb::fail(const QString &error)
{
    m_error = error;
    // The connection may be broken (server restarted, network lost): connect
    // afresh at the next call rather than failing on a dead handle forever.
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (db.isOpen()) {
        if (db.driver()->hasFeature(QSqlDriver::Transactions))
            db.rollback();
        db.close();
    }
    return false;
}

bool ProductionDb::run(QSqlQuery &query)
{
    if (query.exec())
        return true;
    return fail(query.lastError().text());
}

std::optional<QVariant> ProductionDb::firstValue(QSqlQuery &query)
{
    if (!run(query))
        return std::nullopt;
    const QVariant value = query.next() ? query.value(0) : QVariant();
    query.finish();
    return value;
}

std::optional<int> ProductionDb::firstId(const QString &text, const char *column,
                                         const QList<QPair<const char *, QVariant>> &params)
{
    if (!ensureOpen())
        return std::nullopt;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    if (!query.prepare(text)) {
        fail(query.lastError().text());
        return std::nullopt;
    }
    for (const auto &[name, value] : params)
        query.bindValue(QLatin1Char(':') + QLatin1String(name), value);
    if (!run(query))
        return std::nullopt;
    int id = 0;
    if (query.next())
        id = query.record().value(QLatin1String(column)).toInt();
    query.finish();
    return id;
}

std::optional<int> ProductionDb::computerId(const QString &name)
{
    return firstId(sql::Computer, "computer_id", {{"name", name}});
}

std::optional<int> ProductionDb::personId(const QString &login)
{
    return firstId(sql::Person, "person_id", {{"login", login}});
}

std::optional<int> ProductionDb::plantId(int computerId)
{
    return firstId(sql::Plant, "plant_id", {{"computer_id", computerId}});
}

std::optional<int> ProductionDb::electroId(quint32 number, int typeId)
{
    return firstId(sql::CheckNumber, "electro_id", {{"number", int(number)}, {"type_id", typeId}});
}

std::optional<QDateTime> ProductionDb::serverTime()
{
    if (!ensureOpen())
        return std::nullopt;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    query.prepare(sql::Time);
    const std::optional<QVariant> value = firstValue(query);
    if (!value)
        return std::nullopt;
    const QDateTime time = value->toDateTime();
    if (!time.isValid()) {
        fail(QStringLiteral("Сервер не вернул дату и время: \"%1\"").arg(value->toString()));
        return std::nullopt;
    }
    return time;
}

std::optional<QDateTime> ProductionDb::lastSetTime(quint32 number, int typeId)
{
    if (!ensureOpen())
        return std::nullopt;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    if (!query.prepare(sql::Delta)) {
        fail(query.lastError().text());
        return std::nullopt;
    }
    query.bindValue(QStringLiteral(":number"), int(number));
    query.bindValue(QStringLiteral(":type_id"), typeId);
    const std::optional<QVariant> value = firstValue(query);
    if (!value)
        return std::nullopt;
    return value->toDateTime();   // NULL (never programmed) reads as an invalid time
}

std::optional<int> ProductionDb::insertOperationRecord(int electroId, const Who &who, const OperationRecord &record)
{
    const auto failed = [this](const QString &error) {
        fail(error);
        return std::nullopt;
    };
    if (!ensureOpen())
        return std::nullopt;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return failed(db.lastError().text());

    QSqlQuery operation(db);
    if (!operation.prepare(sql::Operation))
        return failed(operation.lastError().text());
    operation.bindValue(QStringLiteral(":type_id"), OperationTypeId);
    operation.bindValue(QStringLiteral(":electro_id"), electroId);
    operation.bindValue(QStringLiteral(":plant_id"), who.plantId);
    operation.bindValue(QStringLiteral(":person_id"), who.personId);
    operation.bindValue(QStringLiteral(":success"), record.success);
    if (!run(operation))
        return std::nullopt;

    const std::optional<int> operationId = newOperationId(operation, electroId, who.plantId);
    if (!operationId)
        return std::nullopt;

    QSqlQuery ins(db);
    if (!ins.prepare(sql::Ins))
        return failed(ins.lastError().text());
    ins.bindValue(QStringLiteral(":operation_id"), *operationId);
    for (const OperationRecord::Column &column : record.columns)
        ins.bindValue(QLatin1Char(':') + QLatin1String(column.name), column.value);
    if (!run(ins))
        return std::nullopt;
    if (!db.commit())
        return failed(db.lastError().text());
    return operationId;
}

std::optional<int> ProductionDb::newOperationId(QSqlQuery &insert, int electroId, int plantId)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const auto prepared = [&](QSqlQuery &query, const QString &text) {
        query.setForwardOnly(true);
        if (query.prepare(text))
            return true;
        fail(query.lastError().text());
        return false;
    };
    if (!db.driver()->hasFeature(QSqlDriver::LastInsertId)) {
        // A server whose driver cannot name the row: the newest row of this
        // plant, which is this insert's as long as the plant's benches do
        // not record at the same moment.
        QSqlQuery maxOper(db);
        if (!prepared(maxOper, sql::MaxOper))
            return std::nullopt;
        maxOper.bindValue(QStringLiteral(":plant_id"), plantId);
        const std::optional<QVariant> id = firstValue(maxOper);
        if (!id)
            return std::nullopt;
        if (id->isNull()) {
            fail(QStringLiteral("Строка операции не найдена после вставки"));
            return std::nullopt;
        }
        return id->toInt();
    }
    // The number the server gave this connection's own insert (its session's
    // last identity). The plant's newest row is not necessarily it: a second
    // bench of the plant may commit a row between the insert and the next
    // statement. The row is read back to be sure the number is the
    // operation's and not one a trigger of the server drew meanwhile.
    const QVariant id = insert.lastInsertId();
    if (!id.isValid() || id.isNull()) {
        fail(QStringLiteral("Сервер не назвал номер вставленной операции"));
        return std::nullopt;
    }
    QSqlQuery own(db);
    if (!prepared(own, sql::OwnOperation))
        return std::nullopt;
    own.bindValue(QStringLiteral(":operation_id"), id.toInt());
    own.bindValue(QStringLiteral(":plant_id"), plantId);
    own.bindValue(QStringLiteral(":electro_id"), electroId);
    const std::optional<QVariant> found = firstValue(own);
    if (!found)
        return std::nullopt;
    if (found->isNull()) {
        fail(QStringLiteral("Строка операции %1 не найдена после вставки").arg(id.toInt()));
        return std::nullopt;
    }
    return found->toInt();
}

} // namespace kelvar::db
