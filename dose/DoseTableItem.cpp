#include "dose/DoseTableItem.h"

#include "report/TableCsvExport.h"

DoseTableItem::DoseTableItem(const QString &text, double value)
    : QTableWidgetItem(text)
{
    setData(TableCsvExport::ExportRole, value);
    setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

bool DoseTableItem::operator<(const QTableWidgetItem &other) const
{
    const QVariant theirs = other.data(TableCsvExport::ExportRole);
    if (!theirs.isValid())
        return QTableWidgetItem::operator<(other);
    return data(TableCsvExport::ExportRole).toDouble() < theirs.toDouble();
}
