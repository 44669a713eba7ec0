#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// The exports that run without a window:
//
//   orvane --export annual --year YYYY [--group ID] --out FILE.csv|FILE.pdf
//   orvane --export bands  --year YYYY [--group ID] --out FILE.csv|FILE.pdf
//   orvane --export card   --user ID               --out FILE.csv|FILE.pdf
//
// An operator logs in with ORVANE_LOGIN and ORVANE_PASSWORD, or answers on
// the terminal. Messages go to standard error; the exit code says how it
// went.
class CommandLineExport
{
    Q_DECLARE_TR_FUNCTIONS(CommandLineExport)

public:
    enum ExitCode {
        Done = 0,
        BadArguments = 1,
        LoginRefused = 2,
        DatabaseUnusable = 3,
        NotFound = 4,
        WriteFailed = 5,
    };

    struct Request
    {
        QString kind; // "annual", "bands" or "card"
        int year = 0;
        int userId = 0;
        int groupId = 0; // 0: all users
        QString out;
        bool pdf = false;
    };

    // Whether the command line asks for an export (its first argument).
    static bool isExportRun(int argc, const char *const argv[]);
    // Reads the arguments after the program name; false with the reason.
    static bool parse(const QStringList &arguments, Request *request, QString *error);
    static QString usage();

    // The whole run once the application object exists.
    static int run(const QStringList &arguments);
    // Writes the file of a checked request to an open database.
    static int write(const Request &request, QString *error);
};
