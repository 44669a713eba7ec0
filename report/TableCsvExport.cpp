#include "report/TableCsvExport.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTextDocument>
#include <QTextDocumentFragment>

namespace {

// "12.5" as a number; "12.5 мЗв" keeps its unit but gets a decimal comma.
QVariant cellValue(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^-?\\d+(\\.\\d+)?$"));
    static const QRegularExpression withUnit(QStringLiteral("^(-?\\d+)\\.(\\d+)(\\s.*)$"));
    if (number.match(text).hasMatch())
        return text.toDouble();
    const QRegularExpressionMatch match = withUnit.match(text);
    if (match.hasMatch())
        return match.captured(1) + QLatin1Char(',') + match.captured(2) + match.captured(3);
    return text;
}

QString widgetText(const QWidget *widget)
{
    if (!widget)
        return QString();
    const QLabel *label = qobject_cast<const QLabel *>(widget);
    if (!label)
        label = widget->findChild<QLabel *>();
    if (label && !label->text().isEmpty()) {
        const QString text = Qt::mightBeRichText(label->text())
            ? QTextDocumentFragment::fromHtml(label->text()).toPlainText()
            : label->text();
        return text.trimmed();
    }
    return widget->toolTip();
}

} // namespace

CsvWriter TableCsvExport::fromTable(const QTableWidget *table)
{
    CsvWriter csv;
    QList<int> columns;
    const QHeaderView *header = table->horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int column = header->logicalIndex(visual);
        if (!table->isColumnHidden(column))
            columns << column;
    }
    QVariantList headers;
    for (int column : qAsConst(columns)) {
        const QTableWidgetItem *item = table->horizontalHeaderItem(column);
        headers << (item ? item->text() : QString::number(column + 1));
    }
    csv.addRow(headers);
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->isRowHidden(row))
            continue;
        QVariantList fields;
        for (int column : qAsConst(columns)) {
            const QTableWidgetItem *item = table->item(row, column);
            QVariant value;
            if (item && item->data(ExportRole).isValid())
                value = item->data(ExportRole);
            else if (item && !item->text().isEmpty())
                value = cellValue(item->text());
            else if (const QWidget *widget = table->cellWidget(row, column))
                value = widgetText(widget);
            else if (item)
                value = item->toolTip();
            fields << value;
        }
        csv.addRow(fields);
    }
    return csv;
}

bool TableCsvExport::exportTable(const QTableWidget *table, QWidget *parent,
                                 const QString &suggestedName)
{
    return save(fromTable(table), parent, suggestedName);
}

bool TableCsvExport::save(const CsvWriter &csv, QWidget *parent, const QString &suggestedName)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString name = suggestedName;
    name.replace(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|]")), QStringLiteral("_"));
    QString fileName = QFileDialog::getSaveFileName(
        parent, tr("Экспорт в CSV"), QDir(folder).filePath(name + QStringLiteral(".csv")),
        tr("Таблицы CSV (*.csv)"));
    if (fileName.isEmpty())
        return false;
    if (!fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        fileName += QStringLiteral(".csv");
    QString error;
    if (csv.write(fileName, &error))
        return true;
    QMessageBox::critical(
        parent, tr("Ошибка"),
        tr("Не удалось сохранить файл \"%1\":\n%2").arg(QDir::toNativeSeparators(fileName), error));
    return false;
}

void TableCsvExport::addContextAction(QTableWidget *table, const QString &suggestedName)
{
    auto *action = new QAction(QIcon(QStringLiteral(":/icons/resources/icons/page_excel.png")),
                               tr("Экспорт в CSV..."), table);
    action->setObjectName(QStringLiteral("exportCsvAction"));
    table->addAction(action);
    table->setContextMenuPolicy(Qt::ActionsContextMenu);
    QObject::connect(action, &QAction::triggered, table,
                     [table, suggestedName]() { exportTable(table, table, suggestedName); });
}
