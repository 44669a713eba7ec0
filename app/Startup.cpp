#include "app/Startup.h"

#include "app/CommandLineExport.h"
#include "app/DiagnosticLog.h"
#include "app/InstallLayout.h"
#include "app/LibraryPath.h"
#include "app/LoginDialog.h"
#include "app/UserGuide.h"
#include "db/ConnectionString.h"
#include "db/DataBase.h"
#include "db/DeviceType.h"
#include "db/MetaTypes.h"
#include "device/LinkSettings.h"
#include "ui/OrvaneWindow.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QLibrary>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSettings>
#include <QStandardPaths>
#include <QTranslator>
#include <QtDebug>

#include <cstdlib>
#include <cstring>
#include <memory>

int Startup::run(int argc, char *argv[])
{
    prepareProcess(argc > 0 ? argv[0] : nullptr);

    // An export shows no window either, but lays out its pages with fonts.
    if (CommandLineExport::isExportRun(argc, argv)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        QTranslator translator;
        installTranslation(translator);
        setApplicationIdentity();
        return CommandLineExport::run(app.arguments());
    }

    // The maintenance run shows nothing, so it must not need a display: a
    // console application object lets it run where no window system is.
    if (isMaintenanceRun(argc, argv)) {
        QCoreApplication app(argc, argv);
        QTranslator translator;
        installTranslation(translator);
        setApplicationIdentity();
        startDiagnosticLog();
        return runMaintenance();
    }

    QApplication app(argc, argv);
    QTranslator translator;
    installTranslation(translator);
    setApplicationIdentity();
    setDesktopIdentity();
    startDiagnosticLog();
    // The workstation's link to the dosimeter, for the plug-in.
    LinkSettings::applyToEnvironment();
    return runApplication(app);
}

void Startup::prepareProcess(const char *argv0)
{
    // Without TZ, glibc looks the zone file up again on every local-time
    // conversion; naming it once makes reading long histories several times
    // faster and changes no result.
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
    registerMetaTypes();
    seedRandomGenerator();
    // Before anything is loaded on demand, the device plug-in in particular.
    addLibraryDirectory(executableDirectory(argv0));
}

int Startup::runApplication(QApplication &app)
{
    if (!makeDatabaseUsable())
        return DatabaseUnusable;
    logInstallation();
    if (!logIn())
        return LoginCancelled;
    return runMainWindow(app);
}

bool Startup::isMaintenanceRun(int argc, const char *const argv[])
{
    return argc == 2 && argv && argv[1] && std::strcmp(argv[1], "-gendb") == 0;
}

void Startup::registerMetaTypes()
{
    VDB::registerMetaTypes();
}

void Startup::seedRandomGenerator()
{
    std::srand(static_cast<unsigned>(QDateTime::currentSecsSinceEpoch()));
}

QString Startup::executableDirectory(const char *argv0)
{
#if defined(Q_OS_LINUX)
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (!exe.isEmpty())
        return QFileInfo(exe).absolutePath();
#endif
    if (argv0 && *argv0)
        return QFileInfo(QFile::decodeName(argv0)).absolutePath();
    return QDir::currentPath();
}

void Startup::addLibraryDirectory(const QString &executableDir)
{
    LibraryPath::setLibraryDirectories(InstallLayout::pluginDirectories(executableDir));
    UserGuide::setSearchDirectories(InstallLayout::helpDirectories(executableDir));
}

bool Startup::installTranslation(QTranslator &translator)
{
    const QString name = QStringLiteral("qt_") + QStringLiteral("ru");
    if (!translator.load(name, QLibraryInfo::location(QLibraryInfo::TranslationsPath))
        && !translator.load(name))
        return false;
    return QCoreApplication::installTranslator(&translator);
}

QString Startup::applicationName()
{
    // The UTF-8 bytes read as Latin-1: the data folder has always been named
    // this way, and existing databases are found there.
    return QString::fromLatin1(u8"КВР-ТМ4040");
}

QString Startup::organizationName()
{
    return QString::fromLatin1(u8"Норвилон");
}

void Startup::setApplicationIdentity()
{
    QCoreApplication::setApplicationName(applicationName());
    QCoreApplication::setOrganizationName(organizationName());
}

void Startup::setDesktopIdentity()
{
    // What the operator sees: the name in window titles and PDF files, the
    // icon, and the desktop entry the windows belong to.
    QGuiApplication::setApplicationDisplayName(QStringLiteral("КВР-ТМ4040"));
    QGuiApplication::setDesktopFileName(QStringLiteral("orvane"));
    QIcon icon;
    for (int size : {32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/orvane-%1.png").arg(size));
    QGuiApplication::setWindowIcon(icon);
}

void Startup::startDiagnosticLog()
{
    const QString folder = VDB::DataBase::dataDirectory();
    if (folder.isEmpty())
        return;
    DiagnosticLog::install(DiagnosticLog::fileNameIn(folder));
    qInfo().noquote() << "orvane" << InstallLayout::version() << "started, Qt" << qVersion()
                      << "executable" << QCoreApplication::applicationFilePath();
}

void Startup::logInstallation()
{
    qInfo().noquote() << "Plug-in folders:" << LibraryPath::libraryDirectories().join(", ");
    for (const DeviceType *type : VDB::DataBase::instance()->deviceTypes()) {
        // Loaded here already, so that a broken installation shows in the
        // log before an operator ever reaches for a device.
        QLibrary library(LibraryPath::resolve(type->connector));
        if (library.load() && library.resolve("getPlugin"))
            qInfo().noquote() << "Device plug-in" << type->connector << "for" << type->name << "at"
                              << library.fileName();
        else
            qWarning().noquote() << "Device plug-in" << type->connector << "for" << type->name
                                 << "not loaded:" << library.errorString();
    }
    const QString guide = UserGuide::find();
    if (guide.isEmpty())
        qWarning().noquote() << "User guide not found, expected at"
                             << UserGuide::expectedPaths().join(", ");
    else
        qInfo().noquote() << "User guide at" << guide;
}

QString Startup::dataFolderProblem()
{
    if (!VDB::DataBase::dataDirectory().isEmpty())
        return QString();
    // Without its folder the database would land in whatever directory the
    // program was started from, and the next start would not find it.
    return tr("Не удалось создать папку данных программы \"%1\".\nДальнейшая работа программы "
              "невозможна")
        .arg(QDir::toNativeSeparators(
            QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)));
}

QString Startup::writeAccessProblem(const QString &fileName)
{
    const QFileInfo file(fileName);
    // SQLite needs the folder too, for its journal.
    if (file.isWritable() && QFileInfo(file.absolutePath()).isWritable())
        return QString();
    return tr("Нет доступа на запись к базе данных \"%1\".\nДальнейшая работа программы "
              "невозможна")
        .arg(QDir::toNativeSeparators(file.absoluteFilePath()));
}

int Startup::runMaintenance()
{
    const QString folderProblem = dataFolderProblem();
    if (!folderProblem.isEmpty()) {
        qWarning().noquote() << folderProblem;
        return DatabaseUnusable;
    }
    const OperationResult created = VDB::DataBase::openOrCreate(true);
    if (created.code != 0) {
        qWarning().noquote() << created.message;
        return DatabaseUnusable;
    }
    const OperationResult generated = VDB::DataBase::generateTestData();
    if (generated.code != 0) {
        qWarning().noquote() << generated.message;
        return DatabaseUnusable;
    }
    logInstallation();
    return MaintenanceDone;
}

QString Startup::chosenDatabase()
{
    const QString fromEnvironment = qEnvironmentVariable("ORVANE_DATABASE");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QSettings().value(QStringLiteral("database/connection")).toString();
}

QString Startup::chooseDatabase()
{
    const QString chosen = chosenDatabase();
    // Nothing chosen: the store keeps the file it is pointed at (its default).
    if (chosen.isEmpty())
        return QString();
    if (!VDB::ConnectionString::isServer(chosen)) {
        VDB::DataBase::setFileName(chosen);
        return QString();
    }
    const VDB::ConnectionString server = VDB::ConnectionString::parse(chosen);
    if (!server.isValid())
        return server.error();
    // The settings file may be read by anyone who reads the home folder;
    // libpq has ~/.pgpass and PGPASSWORD for the password.
    if (server.hasPassword() && qEnvironmentVariableIsEmpty("ORVANE_DATABASE"))
        return tr("Пароль сервера базы данных не может храниться в настройках рабочего "
                  "места. Укажите его в файле ~/.pgpass или в переменной PGPASSWORD");
    VDB::DataBase::setFileName(chosen);
    return QString();
}

bool Startup::makeDatabaseUsable()
{
    QString problem = chooseDatabase();
    if (problem.isEmpty() && !VDB::DataBase::isServerConfigured())
        problem = dataFolderProblem();
    if (!problem.isEmpty()) {
        QMessageBox::critical(nullptr, tr("Ошибка"), problem);
        return false;
    }

    // The first open of a file whose dose of record must be computed from
    // all its readings can take a minute: the operator sees it happen.
    std::shared_ptr<QProgressDialog> progress;
    VDB::DataBase::setLongWorkProgress([&progress](int percent) {
        if (percent < 0) {
            progress = std::make_shared<QProgressDialog>(
                tr("Подготовка учёта доз по показаниям дозиметров..."), QString(), 0, 0);
            progress->setWindowTitle(tr("Учёт доз"));
            progress->setMinimumDuration(0);
            progress->show();
        } else if (progress && percent >= 100) {
            progress.reset();
        } else if (progress) {
            progress->setRange(0, 100);
            progress->setValue(percent);
        }
        QCoreApplication::processEvents();
    });
    const OperationResult opened = VDB::DataBase::openOrCreate(false);
    VDB::DataBase::setLongWorkProgress(nullptr);
    if (opened.code == 0)
        return checkWriteAccess();

    // A server's database is never re-created from a workstation's start:
    // an unreachable server or a database of another program would lose
    // every office's data.
    if (VDB::DataBase::instance()->isServer()) {
        qWarning().noquote() << "Database server:" << opened.message;
        QMessageBox::critical(nullptr, tr("Ошибка"),
                              tr("Не удалось открыть базу данных на сервере %1.\nПодробности: "
                                 "\"%2\".\nДальнейшая работа программы невозможна")
                                  .arg(VDB::DataBase::instance()->displayName(), opened.message));
        return false;
    }

    const QMessageBox::StandardButton answer = QMessageBox::warning(
        nullptr, tr("Ошибка"),
        tr("При соединении с базой произошла ошибка.\nПодробности: \"%1\".\nПопытаться "
           "пересоздать базу данных? ВНИМАНИЕ! Это уничтожит все данные!")
            .arg(opened.message),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return false;

    const OperationResult recreated = VDB::DataBase::openOrCreate(true);
    if (recreated.code == 0)
        return checkWriteAccess();
    QMessageBox::critical(nullptr, tr("Ошибка"),
                          tr("Не удалось создать БД.\nПодробности: \"%1\".\nДальнейшая работа "
                             "программы невозможна")
                              .arg(recreated.message));
    return false;
}

bool Startup::checkWriteAccess()
{
    // A server decides by its own grants, statement by statement.
    if (VDB::DataBase::instance()->isServer())
        return true;
    // A read-only file opens and reads fine; every change would fail later.
    const QString problem = writeAccessProblem(VDB::DataBase::instance()->fileName());
    if (problem.isEmpty())
        return true;
    QMessageBox::critical(nullptr, tr("Ошибка"), problem);
    return false;
}

bool Startup::logIn()
{
    LoginDialog dialog;
    return dialog.exec() == QDialog::Accepted;
}

int Startup::runMainWindow(QApplication &app)
{
    OrvaneWindow window;
    window.show();
    return app.exec();
}
