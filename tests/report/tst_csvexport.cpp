// CSV files as office spreadsheets of a Russian locale read them.

#include "report/CsvWriter.h"
#include "report/TableCsvExport.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QtTest>

class CsvExportTest : public QObject
{
    Q_OBJECT
private slots:
    void fileFormat();
    void numbers_data();
    void numbers();
    void tableAsShown();
};

void CsvExportTest::fileFormat()
{
    CsvWriter csv;
    csv.addRow({QStringLiteral("Иванов; Пётр"), 1.5, 42, QStringLiteral("он сказал \"да\"")});
    csv.addRow({QStringLiteral(" отступ"), QStringLiteral("две\nстроки"), QString(), 0.0});
    const QByteArray data = csv.data();
    QVERIFY(data.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(QString::fromUtf8(data.mid(3)),
             QStringLiteral("\"Иванов; Пётр\";1,5;42;\"он сказал \"\"да\"\"\"\r\n"
                            "\" отступ\";\"две\nстроки\";;0\r\n"));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.csv"));
    QVERIFY(csv.write(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), data);
    QString error;
    QVERIFY(!csv.write(dir.filePath(QStringLiteral("missing/out.csv")), &error));
    QVERIFY(!error.isEmpty());
}

void CsvExportTest::numbers_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 20.0 << "20";
    QTest::newRow("fraction") << 0.125 << "0,125";
    QTest::newRow("rounded to six places") << 1.23456789 << "1,234568";
    QTest::newRow("tiny is zero") << 1e-9 << "0";
    QTest::newRow("negative zero") << -1e-9 << "0";
    QTest::newRow("negative") << -2.5 << "-2,5";
    QTest::newRow("large, no grouping") << 1234567.0 << "1234567";
    QTest::newRow("not a number") << qQNaN() << "";
}

void CsvExportTest::numbers()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(CsvWriter::number(value), text);
}

// What the operator sees: visible columns in their order, rows as sorted,
// numbers with a decimal comma, the text of label cells.
void CsvExportTest::tableAsShown()
{
    QTableWidget table(3, 4);
    table.setHorizontalHeaderLabels({"Дата", "ЭД, мЗв", "Скрытая", "Пользователь"});
    table.setColumnHidden(2, true);
    const char *const dates[]
        = {"02.03.2024 10:00:00", "01.03.2024 09:00:00", "03.03.2024 08:00:00"};
    const char *const doses[] = {"0.250", "12.5 мЗв", "3"};
    for (int row = 0; row < 3; ++row) {
        table.setItem(row, 0, new QTableWidgetItem(QString::fromUtf8(dates[row])));
        table.setItem(row, 1, new QTableWidgetItem(QString::fromUtf8(doses[row])));
        table.setItem(row, 2, new QTableWidgetItem("x"));
    }
    table.setCellWidget(0, 3, new QLabel("&nbsp;<a href=\"#user\">Иванов Пётр</a>"));
    auto *number = new QTableWidgetItem("1 234,5");
    number->setData(TableCsvExport::ExportRole, 1234.5);
    table.setItem(1, 3, number);
    table.horizontalHeader()->moveSection(3, 1);
    table.sortItems(0);

    const QStringList lines
        = QString::fromUtf8(TableCsvExport::fromTable(&table).data().mid(3)).split("\r\n");
    QCOMPARE(lines.value(0), QStringLiteral("Дата;Пользователь;ЭД, мЗв"));
    QCOMPARE(lines.value(1), QStringLiteral("01.03.2024 09:00:00;1234,5;12,5 мЗв"));
    QCOMPARE(lines.value(2), QStringLiteral("02.03.2024 10:00:00;Иванов Пётр;0,25"));
    QCOMPARE(lines.value(3), QStringLiteral("03.03.2024 08:00:00;;3"));
}

QTEST_MAIN(CsvExportTest)
#include "tst_csvexport.moc"
