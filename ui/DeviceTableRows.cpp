#include "ui/DeviceTableRows.h"

#include "db/User.h"
#include "report/RussianFormat.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QStyle>
#include <QTableWidget>

#include <algorithm>

namespace DeviceTableRows {

SortableItem::SortableItem(const QString &text, const QVariant &sortKey)
    : QTableWidgetItem(text)
{
    if (sortKey.isValid())
        setData(SortRole, sortKey);
}

bool SortableItem::operator<(const QTableWidgetItem &other) const
{
    const QVariant mine = data(SortRole);
    const QVariant theirs = other.data(SortRole);
    if (!mine.isValid() || !theirs.isValid())
        return QTableWidgetItem::operator<(other);
    if (mine.type() == QVariant::DateTime && theirs.type() == QVariant::DateTime)
        return mine.toDateTime() < theirs.toDateTime();
    if (mine.type() == QVariant::String || theirs.type() == QVariant::String)
        return QString::localeAwareCompare(mine.toString(), theirs.toString()) < 0;
    return mine.toLongLong() < theirs.toLongLong();
}

void setUpTable(QTableWidget *table, const QList<int> &columnWidths)
{
    QHeaderView *header = table->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The comment column takes the rest of the page.
    header->setStretchLastSection(true);
    for (int column = 0; column < columnWidths.size(); ++column)
        table->setColumnWidth(column, columnWidths.at(column));
    // Room for the sort arrow beside the text.
    const int padding = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin) + 16;
    for (int column = 0; column < table->columnCount(); ++column) {
        const QTableWidgetItem *item = table->horizontalHeaderItem(column);
        if (!item || item->text().isEmpty())
            continue;
        const int needed = header->fontMetrics().horizontalAdvance(item->text()) + padding;
        if (table->columnWidth(column) < needed)
            table->setColumnWidth(column, needed);
    }
}

void fitColumn(QTableWidget *table, int column, const QString &sample)
{
    const int needed = table->fontMetrics().horizontalAdvance(sample)
        + 2 * table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 8;
    if (table->columnWidth(column) < needed)
        table->setColumnWidth(column, needed);
}

QString dateTimeSample()
{
    return dateTimeText(QDateTime(QDate(2000, 12, 28), QTime(20, 58)));
}

void setEventIcon(QTableWidget *table, int row, int column, int eventType)
{
    auto *cell = new QWidget;
    auto *layout = new QHBoxLayout(cell);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *picture = new QLabel(cell);
    picture->setAlignment(Qt::AlignCenter);
    picture->setPixmap(QPixmap(eventType == VDB::EventDeviceAssigned
                                   ? QStringLiteral(":/icons/link")
                                   : QStringLiteral(":/icons/unlink")));
    layout->addWidget(picture);
    // Says what the picture shows, also in a table exported as text.
    cell->setToolTip(eventType == VDB::EventDeviceAssigned
                         ? QCoreApplication::translate("DeviceTableRows", "Назначен")
                         : QCoreApplication::translate("DeviceTableRows", "Откреплён"));
    table->setCellWidget(row, column, cell);
}

QLabel *setUserCell(QTableWidget *table, int row, int column, const SharedUser &user,
                    const QString &anchor)
{
    const QString name = user ? user->fullName() : QString();
    auto *item = new SortableItem(QString(), name);
    item->setData(Qt::UserRole, QVariant::fromValue(user));
    table->setItem(row, column, item);

    // Names are shown as typed, so markup in them must not be interpreted.
    auto *label = new QLabel;
    if (user)
        label->setText(
            QStringLiteral("&nbsp;<a href=\"%1\">%2</a>").arg(anchor, name.toHtmlEscaped()));
    label->setTextFormat(Qt::RichText);
    label->setOpenExternalLinks(false);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    table->setCellWidget(row, column, label);
    // A cell widget does not count for the column's size: widen the column
    // to the name, up to a limit past which the tooltip tells the rest.
    if (user) {
        label->setToolTip(name);
        const int limit = 3 * table->fontMetrics().averageCharWidth() * 20;
        const int needed = std::min(label->sizeHint().width() + 8, limit);
        if (table->columnWidth(column) < needed)
            table->setColumnWidth(column, needed);
    }
    return label;
}

void setHistoryRow(QTableWidget *table, int row, const VDB::Event &event, const QString &deviceText)
{
    table->setItem(row, 1, new SortableItem(dateTimeText(event.dateTime), event.dateTime));
    table->setItem(row, 3, new SortableItem(deviceText));
    table->setItem(row, 4, new QTableWidgetItem(event.comment));
}

void makeLabelCellCurrent(QTableWidget *table, const QObject *label)
{
    if (!label)
        return;
    for (int row = 0; row < table->rowCount(); ++row) {
        for (int column = 0; column < table->columnCount(); ++column) {
            if (table->cellWidget(row, column) == label) {
                table->setCurrentCell(row, column);
                return;
            }
        }
    }
}

SharedUser currentUser(const QTableWidget *table)
{
    const QTableWidgetItem *item = table->currentItem();
    if (!item)
        return SharedUser();
    return item->data(Qt::UserRole).value<SharedUser>();
}

bool historyReportValue(const QTableWidget *table, int record, const QString &name, QVariant &value)
{
    if (name == QLatin1String("dateAndTime")) {
        const QTableWidgetItem *item = table->item(record, 1);
        value = item ? item->text() : QString();
    } else if (name == QLatin1String("user")) {
        const QTableWidgetItem *item = table->item(record, 2);
        const SharedUser user = item ? item->data(Qt::UserRole).value<SharedUser>() : SharedUser();
        value = user ? user->fullName() : QString();
    } else if (name == QLatin1String("device")) {
        const QTableWidgetItem *item = table->item(record, 3);
        value = item ? item->text() : QString();
    } else {
        return false;
    }
    return true;
}

bool historyReportImage(const QTableWidget *table, int record, const QString &name, QImage &image)
{
    if (name != QLatin1String("icon"))
        return false;
    const QWidget *cell = table->cellWidget(record, 0);
    const QLabel *picture = cell ? cell->findChild<QLabel *>() : nullptr;
    if (!picture)
        return false;
    const QPixmap pixmap = picture->pixmap(Qt::ReturnByValue);
    if (pixmap.isNull())
        return false;
    image = pixmap.toImage();
    return true;
}

QString dateTimeText(const QDateTime &dateTime)
{
    return RussianFormat::dateTime(dateTime);
}

} // namespace DeviceTableRows
