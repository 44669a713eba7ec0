#pragma once

#include "db/AuditEntry.h"
#include "db/AuditFilter.h"
#include "db/Channel.h"
#include "db/DayDose.h"
#include "db/DeviceType.h"
#include "db/DoseRecordSettings.h"
#include "db/Event.h"
#include "db/EventBatchReport.h"
#include "db/Group.h"
#include "db/OperationResult.h"
#include "db/Options.h"
#include "db/Threshold.h"
#include "db/ThresholdData.h"
#include "db/User.h"
#include "db/UserDevice.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QSharedPointer>
#include <QString>
#include <QVector>
#include <functional>

class QSqlDatabase;
class QSqlQuery;
class QTimer;

namespace VDB {

class Transaction;

// The single data store over the SQLite file. Keeps users, groups, device
// types, thresholds and the options in memory; every change of stored data
// goes through one of its operations, which writes in a transaction and, only
// after the commit, updates the in-memory records and emits a signal.
// Lives on the GUI thread.
//
// Test hook: setFileName() points the next instance() at another file, and
// destroyInstance() closes the current one, so a test can give every test
// function a fresh file (see tests/common/TestDatabase.h). setToday() pins the
// date that the dose windows use.
class DataBase : public QObject
{
    Q_OBJECT
public:
    // The single object; the first call opens the file and loads the caches.
    static DataBase *instance();
    // Opens, checks, and when empty or asked to, creates the database.
    // 0 usable; -1 unusable (open error, wrong structure, unsupported
    // version); 1 creation script unreadable; 3 a statement failed.
    static OperationResult openOrCreate(bool recreate);
    // Adds the generated user with 50 002 events ("-gendb").
    static OperationResult generateTestData();

    // The writable application-local data folder with a trailing separator,
    // created when missing; empty when it cannot be created.
    static QString dataDirectory();
    // dataDirectory() + "doserdr22.db".
    static QString defaultFileName();
    // File that the next created instance opens; empty = defaultFileName().
    static void setFileName(const QString &fileName);
    // The file that instance() opens (or has opened).
    static QString configuredFileName();
    // Whether instance() goes (or went) to a PostgreSQL server.
    static bool isServerConfigured();
    // Closes the connection and destroys the object (tests, shutdown). The
    // next instance() opens the file anew.
    static void destroyInstance();
    // Told how far long work at opening has come: -1 when it starts, then
    // percentages, 100 when it is over (the first open of a file whose
    // dose of record has to be computed from all its readings).
    static void setLongWorkProgress(std::function<void(int percent)> progress);

    QString fileName() const;
    // The file path or the server's connection text without its password,
    // for the status line and messages.
    QString displayName() const;
    // Whether the data lives on a PostgreSQL server rather than in a file.
    bool isServer() const { return m_server; }
    bool isOpen() const;
    // Whether the database holds no table at all (a new server database).
    bool isEmpty() const;

    // Date that dose windows count from; the local date unless pinned.
    QDate today() const;
    // Pins today(); a null date returns to the clock.
    void setToday(const QDate &date);

    // Caches, in load order.
    void loadAll();
    const QList<SharedUser> &users() const { return m_users; }
    const QList<SharedGroup> &groups() const { return m_groups; }
    const QList<DeviceType *> &deviceTypes() const { return m_deviceTypes; }
    const QList<SharedThreshold> &thresholds() const { return m_thresholds; }
    const Options &options() const { return m_options; }
    SharedUser currentUser() const { return m_currentUser; }

    // Look-ups over the caches (first match in list order).
    DeviceType *deviceType(int id) const;
    SharedUser user(int id) const;
    SharedGroup group(int id) const;
    // The user to whom this device type and serial are assigned, or none.
    SharedUser userWithDevice(const DeviceType *type, int serial) const;

    // Login.
    SharedUser findUser(const QString &login, const QString &password) const;
    bool login(const QString &login, const QString &password);
    bool isMainAdministrator(const QString &login, const QString &password) const;
    // Sets the current user directly (tests, or after a login elsewhere).
    void setCurrentUser(const SharedUser &user) { m_currentUser = user; }

    // Events. addEvents stores the batch in one transaction, skipping events
    // already stored; returns whether the batch was stored (also true for an
    // empty list) and emits historyAdded() after the commit. Records of a
    // user's assigned device stamped before its assignment are stored for
    // the wearer of that time, or for nobody when none is known; `report`
    // counts them.
    bool addEvents(const QList<VDB::Event> &events, EventBatchReport *report = nullptr);
    // Types 100, 101, 200, 300 only; opens no transaction, emits nothing.
    bool addEvent(const VDB::Event &event);
    void userEvents(QList<VDB::Event> &list, const QDate &from, const QDate &to,
                    const SharedUser &user) const;
    void deviceAssignmentEvents(QList<VDB::Event> &list, const QDate &from, const QDate &to,
                                const DeviceType *type = nullptr) const;
    // Dose sums over [today - period, today + 1), display unit; 0 on failure.
    double userDose(quint16 period, const SharedUser &user = SharedUser()) const;
    double groupDose(quint16 period, const SharedGroup &group) const;
    // userDose() of every user at once, keyed by user id; users without any
    // dose in the window are absent.
    QHash<int, double> userDoses(quint16 period) const;

    // The dose of record: type-300 dose records plus, while the office
    // counts them, what the dosimeters' counter readings add (DoseRecordSync).
    // Sums are in the display unit.
    const DoseRecordSettings &doseSettings() const { return m_doseSettings; }
    bool updateDoseSettings(const DoseRecordSettings &settings);
    // Whether the readings' tables are there (not in a file that could not
    // be written when they were missing).
    bool doseRecordAvailable() const { return m_doseRecordReady; }
    // Takes in events that another program stored since the last look;
    // emits doseRecordChanged() when there were any. Cheap when there were
    // none.
    bool refreshDoseRecord();
    // Every day of [first, last] in order, with the user's dose of record and
    // the highest dose rate among the readings counted for the user.
    QVector<DayDose> userDailyDoses(const SharedUser &user, const QDate &first,
                                    const QDate &last) const;
    // Dose of record per user id over the days [first, last]; a null `first`
    // means from the beginning, a null `last` to the end. Users without any dose record or reading
    // in the range are absent.
    QHash<int, double> userDoseTotals(const QDate &first, const QDate &last) const;
    // The same per calendar month, keyed year * 12 + month - 1; only `user`
    // when given.
    QHash<int, QMap<int, double>> userMonthDoses(const QDate &first, const QDate &last,
                                                 const SharedUser &user = SharedUser()) const;

    // Users.
    OperationResult validateUser(const User &data, const SharedUser &edited = SharedUser()) const;
    OperationResult addUser(const User &data);
    OperationResult updateUser(const SharedUser &user, const User &data);
    OperationResult deleteUser(const SharedUser &user);

    // Groups, devices, options, thresholds. Each returns whether the change
    // was stored; callers may ignore it.
    bool addGroup(const QString &name, const QString &description, int access);
    bool updateGroup(const SharedGroup &group, const QString &name, const QString &description,
                     int access);
    // Refuses an empty target while a member would be left without a group.
    bool deleteGroup(const SharedGroup &group, const SharedGroup &target);
    bool setDeviceUsage(const SharedGroup &group, bool allowed, const QString &reason);
    bool assignDevice(const SharedUser &user, DeviceType *type, int serial, const QDateTime &when,
                      const QString &comment);
    bool unassignDevice(const SharedUser &user);
    bool updateOptions(const Options &options);
    bool saveThresholds(const QList<int> &actions, const QList<ThresholdData> &data,
                        const QList<SharedThreshold> &thresholds);
    bool saveThresholds(const QList<ThresholdChange> &changes);

    // Re-reads the records that another workstation may have changed on the
    // server and emits, for what differs from the caches, the same signals as
    // a local change; new events emit historyAdded(). Runs by itself shortly
    // after another workstation commits.
    void takeInRemoteChanges();

    // The audit trail. Every change above records itself in its own
    // transaction, under the current user's login and this workstation's
    // name (the host name unless set). Work done on a device, which the
    // store does not see, is recorded by recordOperation() once the device
    // has said yes. Entries are read newest first; `limit` 0 reads all.
    static const char AuditTable[];
    QString workstation() const;
    void setWorkstation(const QString &name);
    bool recordOperation(const char *operation, const QString &object, const QString &details);
    QList<AuditEntry> auditEntries(const AuditFilter &filter, int limit = 0, int offset = 0) const;
    int auditCount(const AuditFilter &filter) const;
    // The logins that occur in the trail, sorted.
    QStringList auditLogins() const;

    // In memory only: moves the user from its current groups to `groups`.
    static void setUserGroups(const SharedUser &user, const QList<SharedGroup> &groups);

signals:
    void userAdded(const SharedUser &user);
    void userUpdated(const SharedUser &user);
    void userDeleted(const SharedUser &user);
    void groupAdded(const SharedGroup &group);
    void groupUpdated(const SharedGroup &group);
    void groupDeleted(const SharedGroup &group);
    void optionsChanged();
    void thresholdsUpdated();
    void historyAdded();
    // The dose of record changed other than by historyAdded(): the dose
    // settings, or events another program stored.
    void doseRecordChanged();

private:
    explicit DataBase(const QString &fileName);
    ~DataBase() override;

    QSqlDatabase connection() const;
    // The connection for an operation that is about to begin: on a server
    // whose connection went away, opened again first (same settings).
    QSqlDatabase operationConnection();
    // On a server, whether the connection is gone.
    bool connectionLost();
    // On a server, checks the connection every few seconds and reconnects
    // when it is gone, also while nobody works at the workstation.
    void watchConnection();
    bool connectionAlive() const;
    // Reopens a lost connection, subscribes to the notices again and takes
    // in what changed meanwhile; false while the server is still away.
    bool reconnect();
    // What an operation that failed for want of the server tells the user.
    QString lostConnectionMessage(const QString &reason) const;
    OperationResult check(bool recreate);
    OperationResult create(const QStringList &tables);
    bool reopenEmptyFile(QString *error);
    bool ensureIndexes();
    // Creates the dose record's tables when missing and brings them up to
    // date; a file that cannot be written keeps working without them.
    void ensureDoseRecord();
    // Inside the transaction of a change of events.
    bool syncDoseRecord();
    void loadDoseSettings();
    // Creates the audit table when missing (files made by older programs).
    void ensureAudit();
    // Inside the caller's transaction; `login` null means the current user.
    bool recordAudit(const char *operation, const QString &object,
                     const QString &details = QString(), const QString &login = QString());
    QString operatorLogin() const;
    bool recordThresholdChange(int action, const ThresholdData &data,
                               const SharedThreshold &threshold);
    // Whether readings count, and their tables are there to count them.
    bool countsReadings() const;
    double readingDoseSum(const QDate &start, const QDate &end, const QList<int> &userIds) const;
    // Dose of record per user id, per month (userMonthDoses) or in all (at
    // key 0).
    QHash<int, QMap<int, double>> doseSums(const QDate &first, const QDate &last,
                                           const SharedUser &user, bool perMonth) const;
    OperationResult fillTestData();
    // A statement prepared once and kept, for sums the threshold scan runs
    // thousands of times; finish() it after reading.
    QSqlQuery &statement(const QString &sql) const;
    // Runs a statement and remembers the error text of a failure.
    bool exec(QSqlQuery &query) const;
    bool exec(const QString &sql) const;
    bool prepare(QSqlQuery &query, const QString &sql) const;
    // The id that an executed "INSERT ... RETURNING id" handed back; both
    // engines report new ids this way. 0 when there is none.
    static int insertedId(QSqlQuery &query);
    // Error text of the last failure (statement or connection).
    QString errorText() const;
    // Ends an operation's transaction: rolled back with the failing
    // statement's error when !ok, otherwise committed.
    OperationResult finish(Transaction &transaction, bool ok);
    bool insertMemberships(int userId, const QList<SharedGroup> &groups);
    double doseSum(QSqlQuery &query) const;
    void clearCaches();
    void loadOptions();
    void loadDeviceTypes();
    void loadUsers();
    void loadGroups();
    void loadThresholds();
    QPair<QDate, QDate> doseWindow(quint16 period) const;
    // Subscribes to the server's notices of other workstations' commits.
    void listenForChanges();
    int lastEventId() const;
    // On a server, waits until no other workstation's transaction writes
    // events, and keeps them waiting until this transaction ends: records
    // looked for before they are stored and the dose of record, which goes
    // on from the last event it counted, would otherwise race.
    bool lockEventWrites();

    QString m_fileName;
    QString m_displayName;
    bool m_server = false;
    mutable QString m_error;
    QDate m_today;
    QList<SharedUser> m_users;
    QList<SharedGroup> m_groups;
    QList<DeviceType *> m_deviceTypes;
    QList<SharedThreshold> m_thresholds;
    Options m_options;
    DoseRecordSettings m_doseSettings;
    bool m_doseRecordReady = false;
    mutable QHash<QString, QSharedPointer<QSqlQuery>> m_statements;
    SharedUser m_currentUser;
    bool m_remoteChangePending = false;
    bool m_listening = false;
    bool m_connectionLost = false;
    QTimer *m_connectionTimer = nullptr;
    int m_seenEventId = 0;
    // Whether loadAll() has run on this connection.
    bool m_loaded = false;
    bool m_auditReady = false;
    bool m_auditTried = false;
    QString m_workstation;
};

} // namespace VDB
