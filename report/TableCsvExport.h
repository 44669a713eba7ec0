#pragma once

#include "report/CsvWriter.h"

#include <QCoreApplication>
#include <QString>

class QTableWidget;
class QWidget;

// Saves a table as the operator sees it as a CSV file (CsvWriter): its
// visible columns under their headers, its rows in their current order.
class TableCsvExport
{
    Q_DECLARE_TR_FUNCTIONS(TableCsvExport)

public:
    // Item data that a cell is exported as instead of its text, e.g. the
    // number behind a formatted dose.
    static constexpr int ExportRole = Qt::UserRole + 100;

    // A cell's value: its ExportRole data; else its text, a number where the
    // text is one; else the text (or the tool tip) of the widget covering it.
    static CsvWriter fromTable(const QTableWidget *table);
    // Asks where to save (`suggestedName` without a folder, ".csv" added) and
    // writes; tells the operator when the file cannot be written.
    static bool save(const CsvWriter &csv, QWidget *parent, const QString &suggestedName);
    static bool exportTable(const QTableWidget *table, QWidget *parent,
                            const QString &suggestedName);
    // Gives the table a context menu entry that exports it.
    static void addContextAction(QTableWidget *table, const QString &suggestedName);
};
