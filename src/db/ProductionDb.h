#pragma once
// The production database: the ODBC data source "electrometer" (server,
// driver and credentials are configured outside the program, so it never asks
// for them), the look-ups of workstation, operator, plant and meter, the
// server's clock, and the insertion of a recorded operation.
//
// Every call is synchronous. The connection opens with the first query and
// stays open; each call first checks that it still answers and connects
// afresh when it does not (a server restarted between two calls costs no
// error), and a failed query closes it (a server that was down at start is
// used once it is back). Login and
// connection time-outs of LoginTimeoutSeconds bound how long a call waits for
// a server that cannot be reached. Values only ever reach the server as bound
// parameters.

#include "db/OperationRecord.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>

#include <optional>

class QSqlQuery;

namespace kelvar::db {

class ProductionDb
{
public:
    static constexpr const char *DataSourceName = "electrometer";
    static constexpr int LoginTimeoutSeconds = 3;
    static constexpr int OperationTypeId = 3;  // operation.type_id of a programming operation
    static constexpr int PlantTypeId = 3;      // plant.type_id of a programming bench

    // connectionName names the Qt connection; empty: a name of its own.
    explicit ProductionDb(const QString &connectionName = {},
                          const QString &dataSource = QString::fromLatin1(DataSourceName));
    ~ProductionDb();
    ProductionDb(const ProductionDb &) = delete;
    ProductionDb &operator=(const ProductionDb &) = delete;

    // The database layer's message of the last failed call.
    const QString &lastError() const { return m_error; }
    bool isOpen() const;

    // The look-ups give 0 when no row matches and no value on a database error.
    std::optional<int> computerId(const QString &name);
    std::optional<int> personId(const QString &login);       // active operators only
    std::optional<int> plantId(int computerId);               // the programming bench of the computer
    std::optional<int> electroId(quint32 number, int typeId); // the meter's row
    // The server's clock ("SELECT getdate()").
    std::optional<QDateTime> serverTime();
    // The newest programming time recorded for a meter; an invalid time when there is none.
    std::optional<QDateTime> lastSetTime(quint32 number, int typeId);

    struct Who {
        int plantId = 0;
        int personId = 0;
    };
    // The operation row and its set_kelvar row in one transaction: both or
    // neither. The number (operation_id) of the operation written; no value
    // (lastError() set) when anything failed, and then nothing is kept.
    std::optional<int> insertOperationRecord(int electroId, const Who &who, const OperationRecord &record);

private:
    bool ensureOpen();
    bool fail(const QString &error);
    bool run(QSqlQuery &query);
    // The first column of the first row; an invalid value when no row matched.
    std::optional<QVariant> firstValue(QSqlQuery &query);
    // The operation_id of the row the insert just wrote, in its transaction.
    std::optional<int> newOperationId(QSqlQuery &insert, int electroId, int plantId);
    std::optional<int> firstId(const QString &sql, const char *column, const QList<QPair<const char *, QVariant>> &params);

    QString m_connection;
    QString m_error;
};

} // namespace kelvar::db
