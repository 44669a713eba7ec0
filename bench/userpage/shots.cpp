// Saves pictures of the user page (each tab) and of the group page with a
// member selected, over a generated database ("-gendb" data), so that they can
// be looked at:
//
//     xvfb-run -a -s "-screen 0 1280x1024x24" userpage_shots <folder>

#include "db/DataBase.h"
#include "dose/GroupDetailsWidget.h"
#include "dose/UserDetailsWidget.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

bool save(QWidget *widget, const QString &fileName)
{
    settle();
    return widget->grab().save(fileName);
}

ThresholdChange threshold(bool isUser, const QString &name, double value, quint16 period,
                          const QList<SharedGroup> &groups = {})
{
    ThresholdChange change;
    change.data.isUser = isUser;
    change.data.name = name;
    change.data.value = value;
    change.data.period = period;
    change.data.groups = groups;
    return change;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        out << "cannot create " << folder.path() << '\n';
        return 1;
    }

    QTemporaryDir dir;
    VDB::DataBase::setFileName(dir.filePath(QStringLiteral("doserdr22.db")));
    if (VDB::DataBase::openOrCreate(true).code != 0
        || VDB::DataBase::generateTestData().code != 0) {
        out << "could not generate the test database\n";
        return 1;
    }
    VDB::DataBase *db = VDB::DataBase::instance();
    db->loadAll();
    db->setCurrentUser(db->users().first());
    const SharedUser generated = db->users().last();
    const SharedGroup users = db->groups().at(2);
    db->saveThresholds({threshold(true, QStringLiteral("Недельная доза"), 20, 7),
                        threshold(true, QStringLiteral("Дневная доза"), 1, 0),
                        threshold(false, QStringLiteral("Доза группы за месяц"), 100, 30, {users})});

    int failures = 0;
    {
        UserDetailsWidget page(nullptr, nullptr);
        page.setWindowTitle(QStringLiteral("UserDetailsWidget"));
        page.resize(1000, 720);
        page.show();
        page.setUser(generated);
        auto *tabs = page.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        const char *names[] = {"user_day.png", "user_month.png", "user_year.png",
                               "user_period.png"};
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            const QString file = folder.filePath(QLatin1String(names[tab]));
            failures += save(&page, file) ? 0 : 1;
            out << file << '\n';
        }
        // The room the main window leaves beside its tree at its first size.
        page.resize(760, 560);
        tabs->setCurrentIndex(0);
        const QString file = folder.filePath(QStringLiteral("user_day_small.png"));
        failures += save(&page, file) ? 0 : 1;
        out << file << '\n';
    }
    {
        GroupDetailsWidget page(nullptr, nullptr, nullptr, nullptr);
        page.resize(1000, 720);
        page.show();
        page.setGroup(users);
        auto *table = page.findChild<QTableWidget *>(QStringLiteral("usersTableWidget"));
        for (int row = 0; row < table->rowCount(); ++row) {
            const QTableWidgetItem *item = table->item(row, 0);
            if (item && item->data(Qt::UserRole).value<SharedUser>() == generated)
                table->selectRow(row);
        }
        auto *tabs = page.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        const char *names[] = {"group_month.png", "group_year.png", "group_period.png"};
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            const QString file = folder.filePath(QLatin1String(names[tab]));
            failures += save(&page, file) ? 0 : 1;
            out << file << '\n';
        }
    }
    VDB::DataBase::destroyInstance();
    return failures == 0 ? 0 : 1;
}
