#pragma once

#include "db/Event.h"
#include "db/SharedTypes.h"

#include <QString>
#include <QTableWidgetItem>
#include <QVariant>

class QImage;
class QLabel;
class QObject;
class QTableWidget;

// Rows of the device pages' tables: assignment history and current holders.
namespace DeviceTableRows {

// Role of the value a column sorts by when its text does not sort right
// (dates written day first, serial numbers, names shown by a label).
constexpr int SortRole = Qt::UserRole + 1;

// A table item that sorts by its SortRole value when it has one.
class SortableItem : public QTableWidgetItem
{
public:
    explicit SortableItem(const QString &text = QString(), const QVariant &sortKey = QVariant());
    bool operator<(const QTableWidgetItem &other) const override;
};

// Common look of the device tables: headers aligned left, the given column
// widths, widened where the font would clip a header text.
void setUpTable(QTableWidget *table, const QList<int> &columnWidths);

// Widens `column` so that `sample` fits, for texts of a fixed format.
void fitColumn(QTableWidget *table, int column, const QString &sample);

// A date and time as the tables show them, for fitColumn().
QString dateTimeSample();

// A centred picture in `column`: the link picture for an assignment, the
// unlink picture for a release.
void setEventIcon(QTableWidget *table, int row, int column, int eventType);

// An item holding `user` under Qt::UserRole, covered by a label with a link
// to `anchor` that shows the user's full name; returns the label.
QLabel *setUserCell(QTableWidget *table, int row, int column, const SharedUser &user,
                    const QString &anchor);

// Fills columns 1 to 4 of a history row (the device column as given).
void setHistoryRow(QTableWidget *table, int row, const VDB::Event &event,
                   const QString &deviceText);

// Makes the cell covered by `label` the table's current cell, so that a
// click on a link acts on its own row.
void makeLabelCellCurrent(QTableWidget *table, const QObject *label);

// The user held under Qt::UserRole by the table's current item, or none.
SharedUser currentUser(const QTableWidget *table);

// Report fields of history row `record`: "dateAndTime", "user" and "device";
// returns false for other names and leaves `value` alone.
bool historyReportValue(const QTableWidget *table, int record, const QString &name,
                        QVariant &value);
// The picture of history row `record` for the report field "icon".
bool historyReportImage(const QTableWidget *table, int record, const QString &name, QImage &image);

// "1 дек. 2026 14:05", as everywhere
QString dateTimeText(const QDateTime &dateTime);

} // namespace DeviceTableRows
