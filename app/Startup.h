#pragma once

#include <QCoreApplication>
#include <QString>

class QApplication;
class QTranslator;

// The program's entry: prepares the process, opens the database, asks for a
// login and runs the main window. Each step is a function of its own so that
// the flows can be driven one by one.
class Startup
{
    Q_DECLARE_TR_FUNCTIONS(Startup)

public:
    // Process exit codes besides the event loop's.
    enum ExitCode : int {
        MaintenanceDone = 0,
        DatabaseUnusable = -1,
        LoginCancelled = -2,
    };

    // The whole start-up; returns the process exit code.
    static int run(int argc, char *argv[]);

    // What happens before the application object exists: meta-types, the
    // random seed and the library directory beside the executable.
    static void prepareProcess(const char *argv0);

    // The ordinary run once the application object has its translation and
    // identity: the database, the login and the main window. Returns the
    // process exit code.
    static int runApplication(QApplication &app);

    // Whether the command line asks for the maintenance run: exactly one
    // argument, and it is "-gendb" byte for byte.
    static bool isMaintenanceRun(int argc, const char *const argv[]);

    // Whether the command line is "--copy-database FROM TO".
    static bool isCopyRun(int argc, const char *const argv[]);
    // Copies the database FROM into the empty database TO (file paths or
    // server texts) and says how it went; returns the process exit code.
    static int runCopy(const QString &from, const QString &to);

    // Makes the shared record types known to queued connections.
    static void registerMetaTypes();

    // Seeds the pseudo-random generator the test-data generator draws from.
    static void seedRandomGenerator();

    // The directory holding the running executable; `argv0` is used only when
    // the system cannot tell. Works before the application object exists.
    static QString executableDirectory(const char *argv0);

    // Makes "mydlls" in `executableDir` the first place device plug-ins are
    // looked for, then the installed plug-in folder; the user guide is looked
    // for likewise, beside the executable first.
    static void addLibraryDirectory(const QString &executableDir);

    // Loads Qt's own Russian catalogue into `translator` and installs it when
    // found; a missing catalogue is not an error.
    static bool installTranslation(QTranslator &translator);

    // The application and organisation names that place the data folder.
    static QString applicationName();
    static QString organizationName();
    static void setApplicationIdentity();

    // The name shown to the operator, the window icon and the desktop entry.
    static void setDesktopIdentity();

    // Diagnostics go into the log file in the data folder from here on.
    static void startDiagnosticLog();

    // Writes to the log where the device plug-ins and the user guide were
    // found, and whether each device type's plug-in loads.
    static void logInstallation();

    // Why the data folder cannot be used (it could not be created), or an
    // empty string.
    static QString dataFolderProblem();

    // Why the database file `fileName` cannot be written, or an empty string.
    static QString writeAccessProblem(const QString &fileName);

    // "-gendb": re-creates the database and fills it with test data, without
    // any window. Returns 0 or -1; failures go to the warning log only.
    static int runMaintenance();

    // The database this workstation works with: ORVANE_DATABASE, else the
    // workstation's setting "database/connection", else empty (the file in
    // the data folder). A file path or "postgresql://USER@HOST:PORT/DB".
    static QString chosenDatabase();
    // Points the store at the chosen database; the reason it cannot be used
    // (a faulty connection text, a password kept in the settings), or empty.
    static QString chooseDatabase();
    // Opens the database, or creates it on first use, or re-creates it after
    // asking the operator; a data folder or database that cannot be written
    // is refused with a message. False means the program cannot go on (exit -1);
    // every message box has already been shown.
    static bool makeDatabaseUsable();

    // Asks for the login and password of an account that owns the server's
    // database before it is re-created; false when not given or refused.
    static bool confirmServerRecreation();

    // Tells the operator and returns false when the opened database cannot be
    // written.
    static bool checkWriteAccess();

    // Runs the login dialog; true when a user is logged in.
    static bool logIn();

    // Shows the main window until it is closed; returns the event loop's code.
    static int runMainWindow(QApplication &app);
};
