// Generated test data for the "-gendb" maintenance run.

#include "db/DataBase.h"

#include "db/Transaction.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <cstdlib>

namespace VDB {

OperationResult DataBase::generateTestData()
{
    return instance()->fillTestData();
}

OperationResult DataBase::fillTestData()
{
    m_error.clear();
    Transaction transaction(operationConnection());
    int userId = 0;
    {
        QSqlQuery query(connection());
        if (!query.exec(
                QStringLiteral("INSERT INTO Users (firstname, surname, birthday, "
                               "access) VALUES ('User', 'User', '1982-06-26', 1) RETURNING id")))
            return {3, query.lastError().text()};
        userId = insertedId(query);
    }
    if (!exec(QStringLiteral("INSERT INTO Users2Groups (userId, groupId) VALUES (%1, 3)")
                  .arg(userId)))
        return {3, errorText()};

    // One prepared statement for all 50 002 rows, in the one transaction.
    QSqlQuery insert(connection());
    if (!prepare(insert,
                 QStringLiteral("INSERT INTO Events (dateTime, userId, deviceId, "
                                "deviceSerial, eventType, value, channel, comment) VALUES "
                                "(:dateTime, :userId, :deviceId, :deviceSerial, "
                                ":eventType, :value, :channel, :comment)")))
        return {3, errorText()};
    const QVariant nullDouble(QVariant::Double), nullInt(QVariant::Int), nullText(QVariant::String);
    insert.bindValue(1, userId);
    insert.bindValue(2, 1);
    insert.bindValue(3, 8009);
    // The times advance on the wall clock: local-time arithmetic costs a time
    // zone look-up per step, and in the autumn hour it would repeat stamps
    // that the unique index refuses.
    auto add = [&](const QDateTime &t, int type, const QVariant &value, const QVariant &channel,
                   const QVariant &comment) {
        QString text = t.toString(Qt::ISODateWithMs);
        text.chop(1); // the UTC mark; the text is local time
        insert.bindValue(0, text);
        insert.bindValue(4, type);
        insert.bindValue(5, value);
        insert.bindValue(6, channel);
        insert.bindValue(7, comment);
        return exec(insert);
    };

    const QDateTime now = QDateTime::currentDateTime();
    QDateTime t = QDateTime(now.date(), now.time(), Qt::UTC).addDays(-10);
    bool ok = add(t, EventDeviceAssigned, nullDouble, nullInt, nullText);
    for (int i = 0; ok && i < 50000; ++i) {
        t = t.addSecs(std::rand() % 300 + 10);
        const bool odd = i % 2 != 0;
        const double value
            = odd ? (std::rand() % 20 + 1) * 0.0001 : (std::rand() % 50) * 0.0001 + 0.1;
        ok = add(t, odd ? EventMeasurement : EventDose, value, int(Gamma), QString::number(i));
    }
    if (ok)
        ok = add(t.addSecs(120), EventDeviceReleased, nullDouble, nullInt, nullText);
    insert.finish();
    const OperationResult filled = finish(transaction, ok);
    if (filled.code != 0)
        return filled;
    loadAll();
    return {0};
}

} // namespace VDB
