#pragma once

#include <QSqlDatabase>

namespace VDB {

// A transaction that an operation began itself. Operations may run inside a
// transaction that someone else opened; they then neither commit nor roll
// back, which this class decides from whether BEGIN succeeded here.
// Destroying it without commit() rolls back what it began.
class Transaction
{
public:
    // The server's notice channel on which every commit that wrote something
    // tells the other workstations.
    static constexpr const char *ChangeChannel = "orvane_changes";
    // While quiet, commits tell nobody (taking in what others wrote).
    static void setQuiet(bool quiet);

    explicit Transaction(QSqlDatabase db);
    ~Transaction();

    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    bool began() const { return m_began; }
    // Commits what began here; a failed commit is rolled back so that no
    // transaction is left open. True when nothing began here.
    bool commit();
    void rollback();
    // Why commit() failed.
    QString errorText() const { return m_error; }

private:
    QSqlDatabase m_db;
    bool m_began = false;
    bool m_open = false;
    QString m_error;
};

} // namespace VDB
