#pragma once
// The production database of the tests: the private PostgreSQL server that
// CTest starts (scripts/test-db-server.sh) and reaches through the data source
// "electrometer" of the odbc.ini named by ODBCSYSINI/ODBCINI. The fixture
// connection puts the tables into a known state and reads back what the code
// under test wrote; the code under test uses a connection of its own.
// A database test derives its test class from DbTestCase.

#include "platform/Platform.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariantMap>
#include <QtTest>

namespace kelvar::test {

struct DbFixture {
    static constexpr const char *Connection = "fixture";

    // Opens the fixture connection; a missing server fails loudly with what to do.
    static bool open(QString *why)
    {
        if (qEnvironmentVariableIsEmpty("ODBCINI") || qEnvironmentVariableIsEmpty("ODBCSYSINI")) {
            *why = QStringLiteral("ODBCINI/ODBCSYSINI are not set: run this test through ctest, which starts "
                                  "the test database (scripts/test-db-server.sh start DIR) and passes them on");
            return false;
        }
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), QLatin1String(Connection));
        db.setDatabaseName(QStringLiteral("electrometer"));
        if (!db.open()) {
            *why = QStringLiteral("the test database cannot be reached (%1): is scripts/test-db-server.sh running?")
                       .arg(db.lastError().text());
            return false;
        }
        return true;
    }

    static QSqlDatabase db() { return QSqlDatabase::database(QLatin1String(Connection)); }

    // Restarts the server (its sessions are cut off, its data kept); any thread.
    static bool restartServer()
    {
        QProcess script;
        script.start(QStringLiteral("bash"), {qEnvironmentVariable("KELVAR_TEST_DB_SCRIPT"), QStringLiteral("restart"),
                                              qEnvironmentVariable("ODBCSYSINI")});
        if (!script.waitForFinished(90000) || script.exitStatus() != QProcess::NormalExit || script.exitCode() != 0) {
            qWarning() << "restart failed:" << script.readAllStandardError();
            return false;
        }
        return true;
    }
    // The fixture's own connection after a restart.
    static bool reopen()
    {
        QSqlDatabase fixture = db();
        fixture.close();
        return fixture.open();
    }

    // Runs statements; false (with a warning) when one fails.
    static bool exec(const QStringList &statements)
    {
        for (const QString &s : statements) {
            QSqlQuery q(db());
            if (!q.exec(s)) {
                qWarning() << s << q.lastError().text();
                return false;
            }
        }
        return true;
    }

    // No operations, no trigger, and this computer, the current user and one
    // programming bench described as the seed of the server script has them.
    static bool reset()
    {
        return exec({QStringLiteral("DROP TRIGGER IF EXISTS refuse_marked ON set_kelvar"),
                     QStringLiteral("DROP TRIGGER IF EXISTS slow_marked ON set_kelvar"),
                     QStringLiteral("DELETE FROM set_kelvar"), QStringLiteral("DELETE FROM operation"),
                     QStringLiteral("DELETE FROM plant"), QStringLiteral("DELETE FROM operator"),
                     QStringLiteral("DELETE FROM computer")})
            && insert(QStringLiteral("INSERT INTO computer(computer_id, name) VALUES (7, ?)"),
                      {platform::computerName()})
            && insert(QStringLiteral("INSERT INTO operator(person_id, login, operating) VALUES (8, ?, 1)"),
                      {platform::userName()})
            && exec({QStringLiteral("INSERT INTO plant(plant_id, type_id, computer_id) VALUES (9, 3, 7)")});
    }

    static bool insert(const QString &sql, const QVariantList &values)
    {
        QSqlQuery q(db());
        q.prepare(sql);
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (!q.exec()) {
            qWarning() << sql << q.lastError().text();
            return false;
        }
        return true;
    }

    static int count(const QString &table)
    {
        QSqlQuery q(db());
        q.exec(QStringLiteral("SELECT COUNT(*) FROM ") + table);
        return q.next() ? q.value(0).toInt() : -1;
    }

    // Every row of a query as column name -> value.
    static QList<QVariantMap> rows(const QString &sql)
    {
        QList<QVariantMap> result;
        QSqlQuery q(db());
        if (!q.exec(sql)) {
            qWarning() << sql << q.lastError().text();
            return result;
        }
        while (q.next()) {
            QVariantMap row;
            for (int i = 0; i < q.record().count(); ++i)
                row.insert(q.record().fieldName(i), q.value(i));
            result << row;
        }
        return result;
    }
};

// The test class of a database test: the fixture connection opened before the
// first test (a missing server fails the run and says what to do), the tables
// put into their known state before every test.
class DbTestCase : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(DbFixture::open(&why), qPrintable(why));
    }
    void init() { QVERIFY(DbFixture::reset()); }
};

} // namespace kelvar::test
