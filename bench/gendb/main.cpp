// Times "-gendb" (re-creation plus generated test data) against a baseline
// that writes the same 50 002 rows with the SQLite C interface directly.

#include "db/DataBase.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#ifdef ORVANE_HAVE_SQLITE3
#include <sqlite3.h>

namespace {

// The same rows as generateTestData, on a copy of the freshly created file.
double baselineSeconds(const QString &fileName)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(QFile::encodeName(fileName).constData(), &db) != SQLITE_OK)
        return -1;
    QElapsedTimer timer;
    timer.start();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_exec(db,
                 "INSERT INTO 'Users' ('firstname', 'surname', 'birthday', 'access') VALUES "
                 "('User', 'User', '1982-06-26', 1)",
                 nullptr, nullptr, nullptr);
    const sqlite3_int64 user = sqlite3_last_insert_rowid(db);
    const QByteArray link
        = QStringLiteral("INSERT INTO 'Users2Groups' ('userId', 'groupId') VALUES (%1, 3)")
              .arg(user)
              .toLatin1();
    sqlite3_exec(db, link.constData(), nullptr, nullptr, nullptr);
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO 'Events' (dateTime, userId, deviceId, deviceSerial, "
                       "eventType, value, channel, comment) VALUES (?, ?, 1, 8009, ?, ?, ?, ?)",
                       -1, &insert, nullptr);
    const QDateTime now = QDateTime::currentDateTime();
    QDateTime t = QDateTime(now.date(), now.time(), Qt::UTC).addDays(-10);
    auto add = [&](int type, bool withValue, double value, int i) {
        QByteArray when = t.toString(Qt::ISODateWithMs).toLatin1();
        when.chop(1);
        sqlite3_bind_text(insert, 1, when.constData(), when.size(), SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 2, user);
        sqlite3_bind_int(insert, 3, type);
        if (withValue) {
            const QByteArray comment = QByteArray::number(i);
            sqlite3_bind_double(insert, 4, value);
            sqlite3_bind_int(insert, 5, 2);
            sqlite3_bind_text(insert, 6, comment.constData(), comment.size(), SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_null(insert, 4);
            sqlite3_bind_null(insert, 5);
            sqlite3_bind_null(insert, 6);
        }
        sqlite3_step(insert);
        sqlite3_reset(insert);
    };
    add(100, false, 0, 0);
    for (int i = 0; i < 50000; ++i) {
        t = t.addSecs(std::rand() % 300 + 10);
        const bool odd = i % 2 != 0;
        add(odd ? 200 : 300, true,
            odd ? (std::rand() % 20 + 1) * 0.0001 : (std::rand() % 50) * 0.0001 + 0.1, i);
    }
    t = t.addSecs(120);
    add(101, false, 0, 0);
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    const double seconds = timer.nsecsElapsed() / 1e9;
    sqlite3_close(db);
    return seconds;
}

} // namespace
#endif

int main(int argc, char *argv[])
{
    // No display is needed: the benchmark shows nothing.
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString ours = dir.filePath("ours.db");
    VDB::DataBase::setFileName(ours);

    QElapsedTimer timer;
    timer.start();
    OperationResult result = VDB::DataBase::openOrCreate(true);
    const double create = timer.nsecsElapsed() / 1e9;
    timer.restart();
    if (result.code == 0)
        result = VDB::DataBase::generateTestData();
    const double generate = timer.nsecsElapsed() / 1e9;
    if (result.code != 0) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(result.message));
        return 1;
    }
    VDB::DataBase::destroyInstance();
    std::printf("orvane  -gendb: create %.3f s, generateTestData %.3f s (50 002 events)\n", create,
                generate);

#ifdef ORVANE_HAVE_SQLITE3
    // Baseline on a freshly created file with the same indexes.
    const QString base = dir.filePath("baseline.db");
    VDB::DataBase::setFileName(base);
    VDB::DataBase::openOrCreate(true);
    VDB::DataBase::destroyInstance();
    std::printf("baseline sqlite3 C API bulk insert: %.3f s\n", baselineSeconds(base));
#else
    std::printf("baseline: not built (no sqlite3 development files)\n");
#endif
    return 0;
}
