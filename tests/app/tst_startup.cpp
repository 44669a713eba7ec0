#include "app/LibraryPath.h"
#include "app/LoginDialog.h"
#include "app/Startup.h"
#include "common/ModalHelper.h"
#include "db/DataBase.h"
#include "db/User.h"
#include "tst_startup_fixture.h"
#include "ui/OrvaneWindow.h"

#include <QAbstractButton>
#include <QBuffer>
#include <QDateTime>
#include <QDirIterator>
#include <QImage>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

using namespace StartupFixture;

namespace {

const char *const questionStart = "При соединении с базой произошла ошибка.\nПодробности: \"";
const char *const questionEnd
    = "\".\nПопытаться пересоздать базу данных? ВНИМАНИЕ! Это уничтожит все данные!";

QString utf8(const char *text)
{
    return QString::fromUtf8(text);
}

// Points the data store at `path`; the next use opens that file.
void useDatabaseFile(const QString &path)
{
    VDB::DataBase::destroyInstance();
    VDB::DataBase::setFileName(path);
}

QStringList versionStatements(int version)
{
    return {QStringLiteral("CREATE TABLE 'Service' (version INTEGER NOT NULL DEFAULT 2)"),
            QStringLiteral("INSERT INTO 'Service' (version) VALUES (%1)").arg(version),
            QStringLiteral("CREATE TABLE 'Keep' (x TEXT)"),
            QStringLiteral("INSERT INTO 'Keep' VALUES ('precious')")};
}

} // namespace

// Start-up: the command line, the identity, and the flows that make the
// database usable, log in and run the window, answered like an operator would.
class StartupTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        Startup::registerMetaTypes();
    }

    void cleanup()
    {
        VDB::DataBase::destroyInstance();
        VDB::DataBase::setFileName(QString());
    }

    void maintenanceSwitch_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("maintenance");
        QTest::newRow("only switch") << QStringList {"orvane", "-gendb"} << true;
        QTest::newRow("no argument") << QStringList {"orvane"} << false;
        QTest::newRow("further argument") << QStringList {"orvane", "-gendb", "x"} << false;
        QTest::newRow("capitals") << QStringList {"orvane", "-GENDB"} << false;
        QTest::newRow("trailing space") << QStringList {"orvane", "-gendb "} << false;
        QTest::newRow("without dash") << QStringList {"orvane", "gendb"} << false;
        QTest::newRow("not first") << QStringList {"orvane", "x", "-gendb"} << false;
        QTest::newRow("empty") << QStringList {"orvane", ""} << false;
    }

    void maintenanceSwitch()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, maintenance);
        QList<QByteArray> bytes;
        for (const QString &argument : arguments)
            bytes << argument.toUtf8();
        QVector<const char *> argv;
        for (const QByteArray &b : bytes)
            argv << b.constData();
        argv << nullptr;
        QCOMPARE(Startup::isMaintenanceRun(arguments.size(), argv.constData()), maintenance);
    }

    // Before the application object exists: the shared types can travel
    // through queued connections, and plug-ins are looked for in "mydlls"
    // beside the executable.
    void processPreparation()
    {
        Startup::prepareProcess(nullptr);
        for (const char *name : {"SharedUser", "SharedGroup", "SharedDevice", "SharedThreshold",
                                 "VDB::Event", "VDB::Channel"})
            QVERIFY2(QMetaType::type(name) != QMetaType::UnknownType, name);
        QCOMPARE(LibraryPath::libraryDirectory(),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/mydlls"));
    }

    void identity()
    {
        // The UTF-8 bytes taken one by one as Latin-1 characters.
        QCOMPARE(Startup::applicationName().size(), 15);
        QCOMPARE(Startup::applicationName().toLatin1(), utf8("КВР-ТМ4040").toUtf8());
        QCOMPARE(Startup::organizationName().size(), 16);
        QCOMPARE(Startup::organizationName().toLatin1(), utf8("Норвилон").toUtf8());

        Startup::setApplicationIdentity();
        QCOMPARE(QCoreApplication::applicationName(), Startup::applicationName());
        QCOMPARE(QCoreApplication::organizationName(), Startup::organizationName());
        QVERIFY(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
                    .endsWith(Startup::organizationName() + QLatin1Char('/')
                              + Startup::applicationName()));
    }

    void russianStandardButtons()
    {
        if (!QFile::exists(QLibraryInfo::location(QLibraryInfo::TranslationsPath)
                           + QStringLiteral("/qt_ru.qm")))
            QSKIP("Qt's Russian catalogue is not installed");
        QTranslator translator;
        QVERIFY(Startup::installTranslation(translator));
        QMessageBox box(QMessageBox::Warning, QString(), QString(),
                        QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text(), utf8("&Да"));
        QCOMPARE(box.button(QMessageBox::No)->text(), utf8("&Нет"));
        QCoreApplication::removeTranslator(&translator);
    }

    // A first start creates the database without asking anything.
    void firstStartCreatesSilently_data()
    {
        QTest::addColumn<bool>("emptyFileExists");
        QTest::newRow("no file") << false;
        QTest::newRow("empty file") << true;
    }

    void firstStartCreatesSilently()
    {
        QFETCH(bool, emptyFileExists);
        const QString path = m_dir.filePath(QStringLiteral("first-%1.db").arg(emptyFileExists));
        if (emptyFileExists)
            QVERIFY(writeFile(path, QByteArray()));
        useDatabaseFile(path);
        UnexpectedModalGuard guard;
        QVERIFY(Startup::makeDatabaseUsable());
        QCOMPARE(guard.titles(), QStringList());
        QCOMPARE(column(path, QStringLiteral("SELECT version FROM 'Service'")),
                 QVariantList {QVariant(2)});
        QCOMPARE(count(path, QStringLiteral("Users")), 1);
    }

    void usableDatabaseIsOpenedAsItIs()
    {
        const QString path = m_dir.filePath(QStringLiteral("usable.db"));
        useDatabaseFile(path);
        QVERIFY(Startup::makeDatabaseUsable());
        VDB::DataBase::destroyInstance();
        QVERIFY(runSql(path, {QStringLiteral("CREATE TABLE 'Keep' (x TEXT)")}));
        const QByteArray before = readAll(path);

        useDatabaseFile(path);
        UnexpectedModalGuard guard;
        QVERIFY(Startup::makeDatabaseUsable());
        QCOMPARE(guard.titles(), QStringList());
        VDB::DataBase::destroyInstance();
        QCOMPARE(readAll(path), before);
    }

    // Every kind of unusable file asks before it is re-created; No (or
    // Escape) leaves the file byte for byte and ends the start.
    void unusableDatabaseDeclined_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("escape");
        QTest::newRow("not sqlite") << "text" << QString() << false;
        QTest::newRow("damaged sqlite") << "damaged" << QString() << false;
        QTest::newRow("no service")
            << "noservice" << utf8("Структура базы данных неверна") << false;
        QTest::newRow("empty service")
            << "emptyservice" << utf8("Структура базы данных неверна") << false;
        QTest::newRow("version 3") << "v3" << utf8("Неподдерживаемая версия базы данных") << false;
        QTest::newRow("version 3, escape")
            << "v3" << utf8("Неподдерживаемая версия базы данных") << true;
    }

    void unusableDatabaseDeclined()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QFETCH(bool, escape);
        const QString path = makeUnusableFile(kind);
        const QByteArray before = readAll(path);
        QVERIFY(!before.isEmpty());

        useDatabaseFile(path);
        auto seen = std::make_shared<TestSupport::SeenMessageBox>();
        if (escape) {
            TestSupport::onNextModal([seen](QWidget *widget) {
                auto *box = qobject_cast<QMessageBox *>(widget);
                if (box) {
                    seen->seen = true;
                    seen->title = box->windowTitle();
                    seen->text = box->text();
                    seen->icon = box->icon();
                }
                QTest::keyClick(widget, Qt::Key_Escape);
            });
        } else {
            seen = TestSupport::answerNextMessageBox(QMessageBox::No);
        }
        QVERIFY(!Startup::makeDatabaseUsable());
        QVERIFY(seen->seen);
        QCOMPARE(seen->title, utf8("Ошибка"));
        QCOMPARE(seen->icon, QMessageBox::Warning);
        QVERIFY2(seen->text.startsWith(utf8(questionStart)), qPrintable(seen->text));
        QVERIFY2(seen->text.endsWith(utf8(questionEnd)), qPrintable(seen->text));
        const QString detail
            = seen->text.mid(utf8(questionStart).size()).chopped(utf8(questionEnd).size());
        QVERIFY(!detail.isEmpty());
        if (!message.isEmpty())
            QCOMPARE(detail, message);

        VDB::DataBase::destroyInstance();
        QCOMPARE(readAll(path), before);
    }

    void unusableDatabaseRecreatedOnYes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("not sqlite") << "text";
        QTest::newRow("version 3") << "v3";
    }

    void unusableDatabaseRecreatedOnYes()
    {
        QFETCH(QString, kind);
        const QString path = makeUnusableFile(kind);
        useDatabaseFile(path);
        auto seen = TestSupport::answerNextMessageBox(QMessageBox::Yes);
        QVERIFY(Startup::makeDatabaseUsable());
        QVERIFY(seen->seen);
        VDB::DataBase::destroyInstance();
        QCOMPARE(column(path, QStringLiteral("SELECT version FROM 'Service'")),
                 QVariantList {QVariant(2)});
        QCOMPARE(column(path, QStringLiteral("SELECT login FROM 'Users'")),
                 QVariantList {QVariant(QStringLiteral("admin"))});
        // Tables the creation script does not know are gone too.
        QCOMPARE(count(path, QStringLiteral("Keep")), -1);
    }

    // A database that can be neither opened nor created: both messages, and
    // the start ends without a crash.
    void recreationFailure()
    {
        // Not even root may create files in /proc.
        useDatabaseFile(QStringLiteral("/proc/orvane-test/doserdr22.db"));
        auto question = std::make_shared<TestSupport::SeenMessageBox>();
        std::shared_ptr<TestSupport::SeenMessageBox> failure;
        TestSupport::onNextModal([question, &failure](QWidget *widget) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            QVERIFY(box);
            question->seen = true;
            question->text = box->text();
            // The box after the question is the fatal one.
            failure = TestSupport::answerNextMessageBox(QMessageBox::Ok);
            box->button(QMessageBox::Yes)->click();
        });
        QVERIFY(!Startup::makeDatabaseUsable());
        QVERIFY(question->seen);
        QVERIFY2(question->text.contains(utf8("Ошибка открытия базы данных (")),
                 qPrintable(question->text));
        QVERIFY(failure);
        QVERIFY(failure->seen);
        QCOMPARE(failure->title, utf8("Ошибка"));
        QCOMPARE(failure->icon, QMessageBox::Critical);
        QVERIFY2(failure->text.startsWith(utf8("Не удалось создать БД.\nПодробности: \"")),
                 qPrintable(failure->text));
        QVERIFY(failure->text.endsWith(utf8("\".\nДальнейшая работа программы невозможна")));
    }

    // A data folder that cannot be created: a clear message and no database
    // in whatever directory the program was started from.
    void unwritableDataFolder()
    {
        QTemporaryDir home;
        QVERIFY(writeFile(home.filePath(QStringLiteral("file")), "x"));
        const QByteArray oldHome = qgetenv("XDG_DATA_HOME");
        const QString oldCurrent = QDir::currentPath();
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("file/sub"))));
        QDir::setCurrent(home.path());
        Startup::setApplicationIdentity();
        useDatabaseFile(QString());

        auto seen = TestSupport::answerNextMessageBox(QMessageBox::Ok);
        const int code = Startup::runApplication(*qApp);
        QDir::setCurrent(oldCurrent);
        qputenv("XDG_DATA_HOME", oldHome);

        QCOMPARE(code, -1);
        QVERIFY(seen->seen);
        QCOMPARE(seen->title, utf8("Ошибка"));
        QCOMPARE(seen->icon, QMessageBox::Critical);
        QVERIFY2(seen->text.startsWith(utf8("Не удалось создать папку данных программы \"")
                                       + home.filePath(QStringLiteral("file/sub"))),
                 qPrintable(seen->text));
        QVERIFY(seen->text.endsWith(utf8("\".\nДальнейшая работа программы невозможна")));
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("doserdr22.db"))));
    }

    // A database that opens but cannot be written is refused before the
    // login, and left as it was.
    void readOnlyDatabase()
    {
        const QString path = m_dir.filePath(QStringLiteral("readonly.db"));
        useDatabaseFile(path);
        QVERIFY(Startup::makeDatabaseUsable());
        VDB::DataBase::destroyInstance();
        const QByteArray before = readAll(path);
        // Root writes whatever the mode says; an immutable file stops it too.
        const bool immutable
            = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0;
        if (!immutable)
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        if (QFileInfo(path).isWritable())
            QSKIP("cannot make a file read-only here");

        useDatabaseFile(path);
        auto seen = TestSupport::answerNextMessageBox(QMessageBox::Ok);
        const bool usable = Startup::makeDatabaseUsable();
        VDB::DataBase::destroyInstance();
        if (immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

        QVERIFY(!usable);
        QVERIFY(seen->seen);
        QCOMPARE(seen->title, utf8("Ошибка"));
        QCOMPARE(seen->icon, QMessageBox::Critical);
        QCOMPARE(seen->text,
                 utf8("Нет доступа на запись к базе данных \"") + path
                     + utf8("\".\nДальнейшая работа программы невозможна"));
        QCOMPARE(readAll(path), before);
    }

    // The ordinary run end to end: -1 when the operator keeps a broken
    // database, -2 without a login, the window's code after a login.
    void ordinaryRunDeclinedDatabase()
    {
        useDatabaseFile(makeUnusableFile(QStringLiteral("v3")));
        auto seen = TestSupport::answerNextMessageBox(QMessageBox::No);
        QCOMPARE(Startup::runApplication(*qApp), -1);
        QVERIFY(seen->seen);
    }

    void ordinaryRunLoginCancelled()
    {
        useDatabaseFile(m_dir.filePath(QStringLiteral("cancel.db")));
        QString title;
        TestSupport::onNextModal([&title](QWidget *widget) {
            title = widget->windowTitle();
            QVERIFY(qobject_cast<LoginDialog *>(widget));
            static_cast<QDialog *>(widget)->reject();
        });
        QCOMPARE(Startup::runApplication(*qApp), -2);
        QCOMPARE(title, utf8("Вход в программу"));
        QVERIFY(!VDB::DataBase::instance()->currentUser());
    }

    void ordinaryRunLogsInAndRunsWindow()
    {
        useDatabaseFile(m_dir.filePath(QStringLiteral("window.db")));
        TestSupport::onNextModal([](QWidget *widget) {
            widget->findChild<QLineEdit *>(QStringLiteral("loginLineEdit"))
                ->setText(QStringLiteral("admin"));
            widget->findChild<QLineEdit *>(QStringLiteral("passwordLineEdit"))
                ->setText(QStringLiteral("tavro"));
            static_cast<QDialog *>(widget)->accept();
        });
        QString windowTitle;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&]() {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (qobject_cast<OrvaneWindow *>(widget) && widget->isVisible()) {
                    windowTitle = widget->windowTitle();
                    widget->close();
                }
            }
        });
        closer.start(10);
        QCOMPARE(Startup::runApplication(*qApp), 0);
        QCOMPARE(windowTitle, utf8("КВР-ТМ4040"));
        const SharedUser user = VDB::DataBase::instance()->currentUser();
        QVERIFY(user);
        QCOMPARE(user->login, QStringLiteral("admin"));
        QVERIFY(!anyVisible<OrvaneWindow>());
    }

    // "-gendb" in the real program: no window, exit 0, the initial rows and
    // the generated user's 50 002 events, whatever the database held before.
    void gendbProcess_data()
    {
        QTest::addColumn<bool>("fullDatabase");
        QTest::newRow("empty data folder") << false;
        QTest::newRow("database full of data") << true;
    }

    void gendbProcess()
    {
        QFETCH(bool, fullDatabase);
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString path = dataFolder(home.path()) + QStringLiteral("doserdr22.db");
        if (fullDatabase) {
            QVERIFY(QDir().mkpath(dataFolder(home.path())));
            useDatabaseFile(path);
            QVERIFY(Startup::makeDatabaseUsable());
            VDB::DataBase::destroyInstance();
            QVERIFY(runSql(path,
                           {QStringLiteral("CREATE TABLE 'Stray' (x)"),
                            QStringLiteral("INSERT INTO 'Stray' VALUES (1)"),
                            QStringLiteral("INSERT INTO 'Groups' (name, access) "
                                           "VALUES ('Extra', 0)"),
                            // A user with a photo: loading it needs a GUI.
                            QStringLiteral("INSERT INTO 'Users' (firstname, surname, "
                                           "birthday, photo) VALUES ('Фото', 'Фото', "
                                           "'1990-01-01', X'%1')")
                                .arg(QString::fromLatin1(pngBytes().toHex()))}));
        }

        const QDateTime started = QDateTime::currentDateTime();
        QProcess process;
        process.setProcessEnvironment(programEnvironment(home.path()));
        process.start(programPath(), {QStringLiteral("-gendb")});
        QVERIFY2(process.waitForFinished(120000), "the maintenance run did not end");
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());

        QVERIFY(QFile::exists(path));
        QCOMPARE(count(path, QStringLiteral("Stray")), -1);
        QCOMPARE(column(path, QStringLiteral("SELECT version FROM 'Service'")),
                 QVariantList {QVariant(2)});
        QCOMPARE(count(path, QStringLiteral("Groups")), 3);
        QCOMPARE(count(path, QStringLiteral("DeviceType")), 1);
        QCOMPARE(count(path, QStringLiteral("Options")), 1);
        QCOMPARE(column(path, QStringLiteral("SELECT login FROM 'Users' ORDER BY id")),
                 (QVariantList {QVariant(QStringLiteral("admin")), QVariant(QVariant::String)}));
        QCOMPARE(column(path, QStringLiteral("SELECT groupId FROM 'Users2Groups' ORDER BY userId")),
                 (QVariantList {QVariant(1), QVariant(3)}));
        verifyGeneratedEvents(path, started);
    }

    // The maintenance run where nothing can be written: -1, the reason in the
    // warning log, no crash and no window.
    void gendbProcessUnwritableFolder()
    {
        QTemporaryDir home;
        // A data folder below a plain file cannot be created.
        QVERIFY(writeFile(home.filePath(QStringLiteral("file")), "x"));
        QProcess process;
        process.setProcessEnvironment(
            programEnvironment(home.filePath(QStringLiteral("file/sub"))));
        process.setWorkingDirectory(home.path());
        process.start(programPath(), {QStringLiteral("-gendb")});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 255);
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("doserdr22.db"))));
        const QString log = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(log.contains(utf8("Не удалось создать папку данных программы")), qPrintable(log));
    }

private:
    template<typename T> static bool anyVisible()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<T *>(widget) && widget->isVisible())
                return true;
        }
        return false;
    }

    QString makeUnusableFile(const QString &kind)
    {
        const QString path
            = m_dir.filePath(kind + QString::number(++m_files) + QStringLiteral(".db"));
        if (kind == QLatin1String("text")) {
            writeFile(path,
                      QByteArray("These are somebody's notes, not a database.\n").repeated(100));
        } else if (kind == QLatin1String("damaged")) {
            // A valid header followed by pages of garbage.
            runSql(path, versionStatements(2));
            QByteArray bytes = readAll(path);
            for (int i = 100; i < bytes.size(); ++i)
                bytes[i] = char((i * 37) & 0xff);
            writeFile(path, bytes);
        } else if (kind == QLatin1String("noservice")) {
            runSql(path,
                   {QStringLiteral("CREATE TABLE 'Keep' (x TEXT)"),
                    QStringLiteral("INSERT INTO 'Keep' VALUES ('precious')")});
        } else if (kind == QLatin1String("emptyservice")) {
            runSql(path,
                   {QStringLiteral("CREATE TABLE 'Service' (version INTEGER)"),
                    QStringLiteral("CREATE TABLE 'Keep' (x TEXT)")});
        } else {
            runSql(path, versionStatements(3));
        }
        return path;
    }

    static QByteArray pngBytes()
    {
        QImage image(2, 2, QImage::Format_RGB32);
        image.fill(Qt::red);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }

    static QString programPath()
    {
        return QDir(QCoreApplication::applicationDirPath())
            .absoluteFilePath(QStringLiteral("../orvane"));
    }

    static QProcessEnvironment programEnvironment(const QString &dataHome)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        // The maintenance run must work without any display.
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return env;
    }

    // Where the program keeps its database under the data home `home`.
    static QString dataFolder(const QString &home)
    {
        return home + QLatin1Char('/') + Startup::organizationName() + QLatin1Char('/')
            + Startup::applicationName() + QLatin1Char('/');
    }

    static void verifyGeneratedEvents(const QString &path, const QDateTime &started)
    {
        const QString name = QStringLiteral("startup-events");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery users(db);
            QVERIFY(users.exec(QStringLiteral(
                "SELECT id, firstname, surname, birthday, access FROM 'Users' WHERE id <> 1")));
            QVERIFY(users.next());
            const int userId = users.value(0).toInt();
            QCOMPARE(users.value(1).toString(), QStringLiteral("User"));
            QCOMPARE(users.value(2).toString(), QStringLiteral("User"));
            QCOMPARE(users.value(3).toString(), QStringLiteral("1982-06-26"));
            QCOMPARE(users.value(4).toInt(), 1);

            QSqlQuery events(db);
            events.setForwardOnly(true);
            QVERIFY(events.exec(QStringLiteral(
                "SELECT dateTime, userId, deviceId, deviceSerial, eventType, value, channel, "
                "comment FROM 'Events' ORDER BY id")));
            int row = 0;
            QDateTime previous;
            while (events.next()) {
                const QDateTime when
                    = QDateTime::fromString(events.value(0).toString(), Qt::ISODateWithMs);
                QVERIFY2(when.isValid(), qPrintable(events.value(0).toString()));
                QCOMPARE(events.value(1).toInt(), userId);
                QCOMPARE(events.value(2).toInt(), 1);
                QCOMPARE(events.value(3).toInt(), 8009);
                const int type = events.value(4).toInt();
                if (row == 0) {
                    QCOMPARE(type, 100);
                    const qint64 fromStart = when.secsTo(started);
                    QVERIFY2(fromStart >= 10 * 86400 - 5 && fromStart <= 10 * 86400 + 120,
                             qPrintable(QString::number(fromStart)));
                    QVERIFY(events.value(5).isNull());
                    QVERIFY(events.value(6).isNull());
                } else if (row <= 50000) {
                    const int i = row - 1;
                    const qint64 step = previous.secsTo(when);
                    QVERIFY2(step >= 10 && step <= 309, qPrintable(QString::number(step)));
                    QCOMPARE(type, i % 2 ? 200 : 300);
                    const double value = events.value(5).toDouble();
                    if (type == 200)
                        QVERIFY(value >= 0.0001 - 1e-12 && value <= 0.002 + 1e-12);
                    else
                        QVERIFY(value >= 0.1 - 1e-12 && value <= 0.1049 + 1e-12);
                    QCOMPARE(events.value(6).toInt(), 2);
                    QCOMPARE(events.value(7).toString(), QString::number(i));
                } else {
                    QCOMPARE(type, 101);
                    QCOMPARE(previous.secsTo(when), 120);
                    QVERIFY(events.value(5).isNull());
                }
                previous = when;
                ++row;
            }
            QCOMPARE(row, 50002);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }

    QTemporaryDir m_dir;
    int m_files = 0;
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
