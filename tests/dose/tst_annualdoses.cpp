// Calendar-year accounting: the annual page's totals, marks and bands
// against sums worked out by hand, the page itself and its export.

#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "dose/AnnualDoseDialog.h"
#include "dose/AnnualDoseSummary.h"
#include "dose/DoseCard.h"
#include "report/CsvWriter.h"

#include <QComboBox>
#include <QFileDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

using TestSupport::TestDatabase;

namespace {

QDateTime on(int year, int month, int day)
{
    return QDateTime(QDate(year, month, day), QTime(10, 0));
}

} // namespace

class AnnualDosesTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void totalsMarksAndBands();
    void groupFilter();
    void yearWithoutData();
    void bandLimitsBelongBelow();
    void doseCardByYearAndMonth();
    void pageShowsAndExports();

private:
    const AnnualDoseSummary::Row &row(const AnnualDoseSummary &summary, const SharedUser &user);

    QScopedPointer<TestDatabase> m_db;
    SharedGroup m_first;
    SharedGroup m_second;
    SharedUser m_records; // dose records only, just over the annual limit
    SharedUser m_readings; // a dosimeter's readings, over every limit
    SharedUser m_small; // exactly 1 mSv
    SharedUser m_none; // nothing at all
};

void AnnualDosesTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    VDB::DataBase *db = m_db->db();
    db->setToday(QDate(2025, 2, 1));
    m_first = db->groups().at(1);
    m_second = db->groups().at(2);
    m_records = m_db->addUser("Белов", "Андрей", {m_first});
    m_readings = m_db->addUser("Александров", "Борис", {m_second});
    m_small = m_db->addUser("Волков", "Виктор", {m_first});
    m_none = m_db->addUser("Громов", "Геннадий", {m_first});
    QVERIFY(m_db->insertEvents(
        m_records,
        {{on(2020, 6, 1), 30}, {on(2022, 5, 1), 40}, {on(2024, 1, 15), 5}, {on(2024, 3, 10), 16}}));
    QVERIFY(m_db->insertEvents(m_small, {{on(2024, 9, 9), 1}}));
    QVERIFY(m_db->insertEvents(m_readings, {{on(2023, 4, 4), 60}}));
    QVERIFY(m_db->insertEvents(m_readings,
                               {{on(2024, 2, 1), 10}, {on(2024, 2, 2), 10.5}, {on(2024, 7, 1), 62}},
                               VDB::EventMeasurement));
}

void AnnualDosesTest::cleanup()
{
    m_records.clear();
    m_readings.clear();
    m_small.clear();
    m_none.clear();
    m_first.clear();
    m_second.clear();
    m_db.reset();
}

const AnnualDoseSummary::Row &AnnualDosesTest::row(const AnnualDoseSummary &summary,
                                                   const SharedUser &user)
{
    for (const AnnualDoseSummary::Row &r : summary.rows()) {
        if (r.user == user)
            return r;
    }
    static const AnnualDoseSummary::Row none;
    return none;
}

void AnnualDosesTest::totalsMarksAndBands()
{
    const AnnualDoseSummary summary(2024);
    QCOMPARE(summary.rows().size(), m_db->db()->users().size());

    const AnnualDoseSummary::Row &records = row(summary, m_records);
    QCOMPARE(records.months.at(0), 5.0);
    QCOMPARE(records.months.at(2), 16.0);
    QCOMPARE(records.year, 21.0);
    QCOMPARE(records.fiveYears, 30.0 + 40 + 21);
    QCOMPARE(records.lifetime, 91.0);
    QCOMPARE(records.marks, int(AnnualDoseSummary::OverAnnual));

    const AnnualDoseSummary::Row &readings = row(summary, m_readings);
    QCOMPARE(readings.months.at(1), 0.5);
    QCOMPARE(readings.months.at(6), 51.5);
    QCOMPARE(readings.year, 52.0);
    QCOMPARE(readings.fiveYears, 112.0);
    QCOMPARE(readings.marks,
             AnnualDoseSummary::OverAnnual | AnnualDoseSummary::OverSingleYear
                 | AnnualDoseSummary::OverFiveYears);

    QCOMPARE(row(summary, m_small).marks, 0);
    QVERIFY(!row(summary, m_none).wearer);

    // до 1, 1–2, 2–5, 5–10, 10–20, 20–50, свыше 50
    const QList<int> persons {1, 0, 0, 0, 0, 1, 1};
    const QList<double> collective {1, 0, 0, 0, 0, 21, 52};
    QCOMPARE(summary.bands().size(), persons.size());
    for (int i = 0; i < persons.size(); ++i) {
        QCOMPARE(summary.bands().at(i).persons, persons.at(i));
        QCOMPARE(summary.bands().at(i).collectiveDose + 1, collective.at(i) + 1);
    }
    QCOMPARE(summary.wearers(), 3);
    QCOMPARE(summary.collectiveDose(), 74.0);

    // Without the readings only the dose records remain.
    DoseRecordSettings settings = m_db->db()->doseSettings();
    settings.countReadings = false;
    QVERIFY(m_db->db()->updateDoseSettings(settings));
    const AnnualDoseSummary recordsOnly(2024);
    QVERIFY(!row(recordsOnly, m_readings).wearer);
    QCOMPARE(row(recordsOnly, m_readings).fiveYears, 60.0);
    QCOMPARE(recordsOnly.wearers(), 2);
}

void AnnualDosesTest::groupFilter()
{
    const AnnualDoseSummary summary(2024, m_first);
    QCOMPARE(summary.rows().size(), 3);
    QCOMPARE(summary.rows().at(0).user, m_records); // Белов, Волков, Громов
    QCOMPARE(summary.rows().at(2).user, m_none);
    QCOMPARE(summary.wearers(), 2);
    QCOMPARE(summary.collectiveDose(), 22.0);
}

void AnnualDosesTest::yearWithoutData()
{
    const AnnualDoseSummary summary(1999);
    for (const AnnualDoseSummary::Row &r : summary.rows()) {
        QCOMPARE(r.year, 0.0);
        QCOMPARE(r.lifetime, 0.0);
        QCOMPARE(r.marks, 0);
    }
    QCOMPARE(summary.wearers(), 0);
    QCOMPARE(summary.bandsCsv().rowCount(), 1 + 7 + 1);
}

void AnnualDosesTest::bandLimitsBelongBelow()
{
    QCOMPARE(AnnualDoseSummary::bandOf(0), 0);
    QCOMPARE(AnnualDoseSummary::bandOf(1), 0);
    QCOMPARE(AnnualDoseSummary::bandOf(1.0001), 1);
    QCOMPARE(AnnualDoseSummary::bandOf(20), 4);
    QCOMPARE(AnnualDoseSummary::bandOf(50), 5);
    QCOMPARE(AnnualDoseSummary::bandOf(50.0001), 6);
}

void AnnualDosesTest::doseCardByYearAndMonth()
{
    const DoseCard card(m_records);
    QCOMPARE(card.years().size(), 6); // 2020 to this year, 2025
    QCOMPARE(card.years().first().year, 2020);
    QCOMPARE(card.years().at(0).months.at(5), 30.0);
    QCOMPARE(card.years().at(2).months.at(4), 40.0);
    QCOMPARE(card.years().at(4).total, 21.0);
    QCOMPARE(card.years().at(5).total + 1, 1.0);
    QCOMPARE(card.lifetime(), 91.0);
    QCOMPARE(DoseCard(m_readings).lifetime(), 112.0);
}

void AnnualDosesTest::pageShowsAndExports()
{
    AnnualDoseDialog dialog;
    auto *year = dialog.findChild<QSpinBox *>("yearSpinBox");
    auto *table = dialog.findChild<QTableWidget *>("annualTable");
    QCOMPARE(year->value(), 2025);
    year->setValue(2024);
    QCOMPARE(table->rowCount(), m_db->db()->users().size());
    int marked = -1;
    for (int r = 0; r < table->rowCount(); ++r) {
        if (table->item(r, 0)->text() == m_readings->fullName())
            marked = r;
    }
    QVERIFY(marked >= 0);
    QCOMPARE(table->item(marked, AnnualDoseDialog::YearColumn)->text(), QStringLiteral("52,000"));
    QVERIFY(!table->item(marked, AnnualDoseDialog::MarkColumn)->text().isEmpty());
    QVERIFY(table->item(marked, 0)->background().color() != table->palette().base().color());

    dialog.findChild<QComboBox *>("groupComboBox")->setCurrentIndex(2); // "Операторы"
    QCOMPARE(table->rowCount(), 3);

    QTemporaryDir dir;
    const QString path = dir.filePath("annual.csv");
    TestSupport::onNextModal([path](QWidget *widget) {
        auto *files = qobject_cast<QFileDialog *>(widget);
        QVERIFY(files);
        files->selectFile(path);
        QMetaObject::invokeMethod(files, "accept");
    });
    dialog.findChild<QPushButton *>("exportButton")->click();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QString csv = QString::fromUtf8(bytes);
    QCOMPARE(csv.count("\r\n"), 4);
    QVERIFY(
        csv.contains(QStringLiteral(";Белов Андрей;Операторы;5;0;16;0;0;0;0;0;0;0;0;0;21;91;91;")));
}

QTEST_MAIN(AnnualDosesTest)
#include "tst_annualdoses.moc"
