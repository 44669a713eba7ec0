// Dose units: conversion, names, prefix scaling and axis tick labels.

#include "db/DoseUnits.h"

#include <QtTest>
#include <thread>

class DoseUnitsTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { DoseUnits::setCurrentCode(DoseUnits::Sievert); }

    void conversionFollowsCurrentCode();
    void roundTripForEveryCode();
    void unitNames();
    void prefixScaling_data();
    void prefixScaling();
    void formattedWithDecimals();
    void axisTicks_data();
    void axisTicks();
    void codeIsReadableFromWorkerThreads();
};

void DoseUnitsTest::conversionFollowsCurrentCode()
{
    DoseUnits::setCurrentCode(DoseUnits::Sievert);
    QCOMPARE(toDisplayDose(0.02), 0.02);
    QCOMPARE(toStoredDose(0.02), 0.02);
    DoseUnits::setCurrentCode(DoseUnits::Roentgen);
    QCOMPARE(toDisplayDose(0.02), 2.0);
    QCOMPARE(toStoredDose(2.0), 0.02);
    DoseUnits::setCurrentCode(DoseUnits::Rem);
    QCOMPARE(toDisplayDose(0.01), 1.0);
    DoseUnits::setCurrentCode(DoseUnits::None);
    QCOMPARE(toDisplayDose(0.01), 1.0);
}

void DoseUnitsTest::roundTripForEveryCode()
{
    const double values[] = {0, 0.0001, 0.15, 1, 2.5, 9900, -3};
    for (int code = 0; code < 4; ++code) {
        for (double v : values)
            QCOMPARE(DoseUnits::toStored(DoseUnits::toDisplay(v, code), code), v);
    }
}

void DoseUnitsTest::unitNames()
{
    QCOMPARE(DoseUnits::unitName(0), QStringLiteral("Р"));
    QCOMPARE(DoseUnits::unitName(1), QStringLiteral("Зв"));
    QCOMPARE(DoseUnits::unitName(2), QStringLiteral("Рем"));
    QCOMPARE(DoseUnits::unitName(3), QString());
    QCOMPARE(DoseUnits::unitName(-1), QString());
    QCOMPARE(DoseUnits::milliUnitName(0), QStringLiteral("мР"));
    QCOMPARE(DoseUnits::milliUnitName(1), QStringLiteral("мЗв"));
    QCOMPARE(DoseUnits::milliUnitName(2), QStringLiteral("мРем"));
    QCOMPARE(DoseUnits::milliUnitName(3), QString());
    DoseUnits::setCurrentCode(2);
    QCOMPARE(DoseUnits::currentMilliUnitName(), QStringLiteral("мРем"));
    QCOMPARE(DoseUnits::currentUnitName(), QStringLiteral("Рем"));
}

void DoseUnitsTest::prefixScaling_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("number");
    QTest::addColumn<QString>("unit");
    QTest::newRow("micro") << 1 << 0.5 << 500.0 << "мкЗв";
    QTest::newRow("milli") << 1 << 2.5 << 2.5 << "мЗв";
    QTest::newRow("exactly 1 is milli") << 1 << 1.0 << 1.0 << "мЗв";
    QTest::newRow("whole") << 1 << 2500.0 << 2.5 << "Зв";
    QTest::newRow("exactly 1000 is whole") << 1 << 1000.0 << 1.0 << "Зв";
    QTest::newRow("zero is micro") << 1 << 0.0 << 0.0 << "мкЗв";
    QTest::newRow("negative is micro") << 1 << -2.0 << -2000.0 << "мкЗв";
    QTest::newRow("rem") << 2 << 1.0 << 1.0 << "мРем";
    QTest::newRow("roentgen") << 0 << 0.25 << 250.0 << "мкР";
    QTest::newRow("no unit") << 3 << 2500.0 << 2500.0 << "";
}

void DoseUnitsTest::prefixScaling()
{
    QFETCH(int, code);
    QFETCH(double, value);
    QFETCH(double, number);
    QFETCH(QString, unit);
    const DoseUnits::Scaled scaled = DoseUnits::scale(value, code);
    QCOMPARE(scaled.number, number);
    QCOMPARE(scaled.unit, unit);
    DoseUnits::setCurrentCode(code);
    QCOMPARE(DoseUnits::scale(value).unit, unit);
}

void DoseUnitsTest::formattedWithDecimals()
{
    DoseUnits::setCurrentCode(1);
    QCOMPARE(DoseUnits::formatScaled(0.15), QStringLiteral("150.0000 мкЗв"));
    QCOMPARE(DoseUnits::formatScaled(1500), QStringLiteral("1.5000 Зв"));
    QCOMPARE(DoseUnits::formatScaled(2.5, 2), QStringLiteral("2.50 мЗв"));
    // A stored 0.01 mSv in rem: 1 mrem.
    DoseUnits::setCurrentCode(2);
    QCOMPARE(DoseUnits::formatScaled(toDisplayDose(0.01)), QStringLiteral("1.0000 мРем"));
}

void DoseUnitsTest::axisTicks_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("dose");
    QTest::addColumn<QString>("rate");
    QTest::newRow("zero") << 1 << 0.0 << "0"
                          << "0";
    QTest::newRow("below a micro unit: 3 decimals") << 1 << 0.0005 << "0.500 мкЗв"
                                                    << "0.500 мкЗв/ч";
    QTest::newRow("micro: 2 decimals") << 1 << 0.005 << "5.00 мкЗв"
                                       << "5.00 мкЗв/ч";
    QTest::newRow("exactly one micro unit") << 1 << 0.001 << "1.00 мкЗв"
                                            << "1.00 мкЗв/ч";
    QTest::newRow("milli") << 1 << 2.5 << "2.50 мЗв"
                           << "2.50 мЗв/ч";
    QTest::newRow("exactly 1 is milli") << 1 << 1.0 << "1.00 мЗв"
                                        << "1.00 мЗв/ч";
    QTest::newRow("whole") << 1 << 2500.0 << "2.50 Зв"
                           << "2.50 Зв/ч";
    QTest::newRow("roentgen") << 0 << 0.5 << "500.00 мкР"
                              << "500.00 мкР/ч";
    QTest::newRow("rem") << 2 << 1500.0 << "1.50 Рем"
                         << "1.50 Рем/ч";
    QTest::newRow("no unit still sievert") << 3 << 2.0 << "2.00 мЗв"
                                           << "2.00 мЗв/ч";
}

void DoseUnitsTest::axisTicks()
{
    QFETCH(int, code);
    QFETCH(double, value);
    QFETCH(QString, dose);
    QFETCH(QString, rate);
    QCOMPARE(DoseUnits::axisTickLabel(value, code), dose);
    QCOMPARE(DoseUnits::rateAxisTickLabel(value, code), rate);
    DoseUnits::setCurrentCode(code);
    QCOMPARE(DoseUnits::axisTickLabel(value), dose);
    QCOMPARE(DoseUnits::rateAxisTickLabel(value), rate);
}

void DoseUnitsTest::codeIsReadableFromWorkerThreads()
{
    // Device workers convert on their own threads while the options change.
    DoseUnits::setCurrentCode(0);
    double seen = 0;
    std::thread worker([&seen] {
        for (int i = 0; i < 1000; ++i)
            seen = toDisplayDose(1);
    });
    for (int i = 0; i < 1000; ++i)
        DoseUnits::setCurrentCode(i % 2 ? 0 : 2);
    worker.join();
    QCOMPARE(seen, 100.0);
}

QTEST_MAIN(DoseUnitsTest)
#include "tst_doseunits.moc"
