// Times reading an audit trail of 100 000 entries over two years: opening
// the dialog (count and first page of the last month), a filter by operator
// and operation over all years, and the CSV of one month, beside reading
// every row of the table as a program without paging would.

#include "bench/BenchTools.h"
#include "db/AuditOperation.h"
#include "db/DataBase.h"
#include "ui/AuditDialog.h"

#include <QApplication>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

namespace {

using Bench::bestOfThree;
using Bench::Timing;

constexpr int Entries = 100000;
const QDate Today(2026, 6, 30);

bool fill()
{
    QSqlDatabase::database().transaction();
    QSqlQuery insert;
    insert.prepare("INSERT INTO AuditLog (dateTime, login, workstation, operation, object, "
                   "details) VALUES (?, ?, ?, ?, ?, ?)");
    const QStringList operations = VDB::AuditOperation::codes();
    const QDateTime start(Today.addYears(-2), QTime(8, 0));
    for (int i = 0; i < Entries; ++i) {
        // About one entry every ten minutes of two years.
        insert.addBindValue(start.addSecs(qint64(i) * 631).toString(Qt::ISODateWithMs));
        insert.addBindValue(QStringLiteral("operator%1").arg(i % 10));
        insert.addBindValue(QStringLiteral("ПОСТ-%1").arg(i % 4));
        insert.addBindValue(operations.at(i % operations.size()));
        insert.addBindValue(QStringLiteral("Фамилия%1 Имя%1").arg(i % 1000));
        insert.addBindValue(QStringLiteral("получено записей: %1; записано новых: %1").arg(i));
        if (!insert.exec())
            return false;
    }
    return QSqlDatabase::database().commit();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    VDB::DataBase::setFileName(dir.filePath("doserdr22.db"));
    if (VDB::DataBase::openOrCreate(false).code != 0)
        return 1;
    VDB::DataBase *db = VDB::DataBase::instance();
    db->setToday(Today);
    if (!db->login("admin", "tavro") || !fill())
        return 2;

    int shown = 0;
    const Timing dialogMs = bestOfThree([&] {
        AuditDialog dialog;
        shown = dialog.findChild<QObject *>("auditTableWidget")->property("rowCount").toInt();
    });
    VDB::AuditFilter chosen;
    chosen.login = QStringLiteral("operator4");
    chosen.operation = QString::fromLatin1(VDB::AuditOperation::DoseReset);
    int chosenCount = 0;
    const Timing filterMs = bestOfThree([&] {
        chosenCount = db->auditCount(chosen);
        db->auditEntries(chosen, AuditDialog::PageSize);
    });
    int csvRows = 0;
    const Timing csvMs = bestOfThree([&] {
        AuditDialog dialog;
        csvRows = dialog.csv().rowCount();
    });
    int all = 0;
    const Timing allMs = bestOfThree([&] { all = db->auditEntries(VDB::AuditFilter()).size(); });

    std::printf("best of three runs over %d entries                         wall ms    cpu ms\n",
                Entries);
    const auto line = [](const QByteArray &what, const Timing &t, const char *note) {
        std::printf("  %-54s %9.1f %9.1f   %s\n", what.constData(), t.wall, t.cpu, note);
    };
    line(QStringLiteral("AuditDialog opened, last month, %1 rows shown").arg(shown).toUtf8(),
         dialogMs, "goal < 300 ms");
    line(QStringLiteral("filter operator + operation, all years (%1)").arg(chosenCount).toUtf8(),
         filterMs, "goal < 300 ms");
    line(QStringLiteral("dialog + CSV of the last month (%1 lines)").arg(csvRows).toUtf8(), csvMs,
         "goal < 300 ms");
    line(QStringLiteral("baseline: every row read (%1)").arg(all).toUtf8(), allMs, "");
    VDB::DataBase::destroyInstance();
    return 0;
}
