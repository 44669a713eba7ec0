#pragma once

#include "db/DataBase.h"

#include <QDateTime>
#include <QList>
#include <QScopedPointer>
#include <QSignalSpy>
#include <QString>
#include <memory>
#include <vector>

class QTemporaryDir;
class QSqlDatabase;

namespace TestSupport {

// Gives a test a fresh database file of its own.
//
// The data store is a process-wide singleton (VDB::DataBase::instance()). The
// fixture points it at <temporary folder>/doserdr22.db with
// VDB::DataBase::setFileName(), destroys any instance left from an earlier
// test, and (unless told otherwise) creates the schema with the initial rows
// through openOrCreate(false). Its destructor destroys the instance again and
// removes the folder, so every test function can start from scratch:
//
//     void MyTest::init()    { m_db.reset(new TestSupport::TestDatabase); }
//     void MyTest::cleanup() { m_db.reset(); }
//
// Widgets that connected to the store's signals are disconnected when the
// instance is destroyed; records held in SharedUser etc. stay valid, device
// type pointers do not.
class TestDatabase
{
public:
    enum Mode {
        Create, // the initial database of the creation script
        NoCreate // only point the store at the (not yet existing) file
    };

    explicit TestDatabase(Mode mode = Create);
    ~TestDatabase();

    TestDatabase(const TestDatabase &) = delete;
    TestDatabase &operator=(const TestDatabase &) = delete;

    bool isValid() const; // the folder exists and, for Create, the schema was made
    // Whether the tests run against the PostgreSQL test server
    // (ORVANE_TEST_ENGINE=postgresql); fileName() is then its connection text.
    static bool onServer();
    QString fileName() const;
    QString folder() const;
    VDB::DataBase *db() const { return VDB::DataBase::instance(); }

    // Closes the store and opens the same file again (caches reloaded).
    void reopen();

    // Adds a user through the store (role 3 unless given) and returns it.
    SharedUser addUser(const QString &surname, const QString &firstname = QStringLiteral("Иван"),
                       const QList<SharedGroup> &groups = QList<SharedGroup>(),
                       int role = User::PlainUser, const QString &login = QString());

    // Writes events straight into the Events table in one transaction,
    // bypassing the store's signals and caches: (date-time, value in mSv)
    // pairs of the given type for the user, device type 1, serial 8009.
    bool insertEvents(const SharedUser &user, const QList<QPair<QDateTime, double>> &events,
                      int eventType = VDB::EventDose);

    // A TM4040 counter reading (type 200, gamma) of the first device type, as
    // an import hands it to the store.
    static VDB::Event reading(const SharedUser &user, const QDateTime &when, double value,
                              int serial, double rate);

    // Runs one SQL statement on the store's connection; returns success.
    static bool exec(const QString &sql);
    // The first column of the first row of a query, or an invalid variant.
    static QVariant scalar(const QString &sql);

    // Makes every INSERT or DELETE (`action`) on `table` fail with `message`,
    // only for rows where `condition` (about NEW) holds when one is given;
    // a trigger named `name` on either engine.
    static bool refuse(const QString &name, const QString &action, const QString &table,
                       const QString &message, const QString &condition = QString());
    static bool dropRefusal(const QString &name, const QString &table);
    // Makes the store's connection refuse every write, or accept them again.
    static bool setReadOnly(bool readOnly);
    // The error text the engine gives for a write on a read-only connection.
    static QString readOnlyError();
    // A column that sorts rows of a table without an id in insertion order.
    static QString insertionOrder();
    // Starts the id sequence of a table from 1 again.
    static bool resetIds(const QString &table);
    // A second connection named `name` to the store's database (closed and
    // removed by the caller).
    static QSqlDatabase openSecondConnection(const QString &name);

    // Turns off the disk syncs of the store's connection (done by the
    // constructor and reopen(); call again after destroying the instance).
    static void relaxDurability();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    bool m_valid = false;
};

// Text picture of every row of every table, to show that a refused operation
// wrote nothing.
QString databaseSnapshot();
// Text picture of the store's caches (users, groups, thresholds, options with
// their links), to show that a refused operation changed no record.
QString cacheSnapshot();

// Spies on every signal of the store at once.
class StoreSignalSpy
{
public:
    StoreSignalSpy();
    int total() const;
    // Signal names in the order they were emitted, e.g. "optionsChanged".
    QStringList order() const { return *m_order; }

private:
    std::vector<std::unique_ptr<QSignalSpy>> m_spies;
    std::shared_ptr<QStringList> m_order;
    QObject m_context;
};

} // namespace TestSupport
