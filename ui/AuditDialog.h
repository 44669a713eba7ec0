#pragma once

#include "db/AuditEntry.h"
#include "db/AuditFilter.h"
#include "report/CsvWriter.h"

#include <QDialog>
#include <QList>
#include <QScopedPointer>

class QAction;
class QMenu;

namespace Ui {
class AuditDialog;
}

// The audit trail for administrators: the entries newest first, filtered by
// days, operator and operation, read a page at a time so that a long trail
// opens at once. Prints what is shown and exports every matching entry as
// CSV. Nothing here changes the trail.
class AuditDialog : public QDialog
{
    Q_OBJECT
public:
    // Entries read at a time.
    static const int PageSize = 500;
    enum Column {
        TimeColumn,
        LoginColumn,
        WorkstationColumn,
        OperationColumn,
        ObjectColumn,
        DetailsColumn,
        ColumnCount
    };

    explicit AuditDialog(QWidget *parent = nullptr);
    ~AuditDialog() override;

    // Whether the logged-in user may see the trail (administrators only).
    static bool isAllowed();
    // Runs the dialog, or tells a user who may not see the trail so.
    static void showTrail(QWidget *parent);
    // A menu entry that runs the dialog, shown to administrators only.
    static QAction *addMenuEntry(QMenu *menu, QWidget *parent);

    VDB::AuditFilter filter() const;
    // Every entry of the filter, with a header line.
    CsvWriter csv() const;

public slots:
    void refill();
    void loadMore();
    void printReport();
    void exportCsv();

private:
    QString filterText() const;
    void addRow(const VDB::AuditEntry &entry);

    QScopedPointer<Ui::AuditDialog> m_ui;
    QList<VDB::AuditEntry> m_entries;
    int m_total = 0;
};
