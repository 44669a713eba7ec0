#pragma once

#include <QString>
#include <QtGlobal>

// The program's diagnostics log: every debug, info and warning message
// (the device plug-in's traffic included) goes on to the terminal as before
// and also into "orvane.log" in the program's data folder, so that an office
// can send it when something goes wrong. The file is kept small by rotation:
// past its size limit it becomes "orvane.log.1", the older ".1" becomes ".2",
// and so on up to the number of files kept.
namespace DiagnosticLog {

const qint64 DefaultFileLimit = 1024 * 1024;
const int DefaultFilesKept = 3;

// Starts writing into `fileName` (its folder must exist) besides the
// previous message handler. Safe to call again; the last call wins.
void install(const QString &fileName, qint64 fileLimit = DefaultFileLimit,
             int filesKept = DefaultFilesKept);

// Stops writing into the file; messages go only to the previous handler.
void uninstall();

// The file written into, or an empty string when none.
QString fileName();

// The file name in the data folder `dataDirectory`.
QString fileNameIn(const QString &dataDirectory);

// One log line: local time with milliseconds, the kind of message, the
// category when it is not the default one, and the text.
QString formatLine(QtMsgType type, const char *category, const QString &message);

} // namespace DiagnosticLog
