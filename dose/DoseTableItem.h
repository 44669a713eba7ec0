#pragma once

#include <QTableWidgetItem>

// A table cell showing a dose (or any number) as text; it sorts by the number
// and is exported as the number (TableCsvExport::ExportRole).
class DoseTableItem : public QTableWidgetItem
{
public:
    DoseTableItem(const QString &text, double value);
    bool operator<(const QTableWidgetItem &other) const override;
};
