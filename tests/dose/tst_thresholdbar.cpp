#include "dose/ThresholdBar.h"
#include "dose/ThresholdsWidget.h"

#include <QLabel>
#include <QtTest>

class TestThresholdBar : public QObject
{
    Q_OBJECT
private slots:
    void fillAndLabel_data();
    void fillAndLabel();
    void rejectsInvalidInput();
    void infiniteShareIsFullWithoutInf();
    void sizeHintAndPolicy();
    void amountsBesideTheShare();
    void boxAddsAndClearsBars();

private:
    static QImage render(ThresholdBar &bar);
};

QImage TestThresholdBar::render(ThresholdBar &bar)
{
    QImage image(bar.size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    bar.render(&image);
    return image;
}

void TestThresholdBar::fillAndLabel_data()
{
    QTest::addColumn<double>("percentage");
    QTest::addColumn<int>("filled");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0.0 << 0 << "0.0%";
    QTest::newRow("50") << 50.0 << 100 << "50.0%";
    QTest::newRow("33.33") << 100.0 / 3 << 66 << "33.3%";
    QTest::newRow("100") << 100.0 << 200 << "100.0%";
    QTest::newRow("150") << 150.0 << 200 << "150.0%";
    QTest::newRow("200") << 200.0 << 200 << "200.0%";
}

void TestThresholdBar::fillAndLabel()
{
    QFETCH(double, percentage);
    QFETCH(int, filled);
    QFETCH(QString, text);
    ThresholdBar bar;
    bar.resize(200, 22);
    bar.setColor(QColor(10, 200, 30));
    bar.setPercentage(percentage);
    QCOMPARE(ThresholdBar::filledWidth(200, percentage), filled);
    QCOMPARE(bar.text(), text);

    // The bar colour up to the filled length, white after it; the top row
    // is free of the centred text.
    const QImage image = render(bar);
    // Above the limit the bar is red whatever its colour.
    const QColor fill = percentage > 100 ? ThresholdBar::exceededColor() : QColor(10, 200, 30);
    if (filled > 0) {
        QCOMPARE(image.pixelColor(0, 0), fill);
        QCOMPARE(image.pixelColor(filled - 1, 0), fill);
    }
    if (filled < 200) {
        QCOMPARE(image.pixelColor(filled, 0), QColor(Qt::white));
        QCOMPARE(image.pixelColor(199, 0), QColor(Qt::white));
    }
    // Some text is drawn in the middle.
    bool dark = false;
    for (int x = 60; x < 140 && !dark; ++x)
        for (int y = 3; y < 19 && !dark; ++y)
            dark = image.pixelColor(x, y).lightness() < 60;
    QVERIFY(dark);
}

void TestThresholdBar::rejectsInvalidInput()
{
    ThresholdBar bar;
    QCOMPARE(bar.color(), QColor(Qt::blue));
    QCOMPARE(bar.percentage(), 0.0);
    bar.setPercentage(40);
    bar.setPercentage(-1);
    bar.setPercentage(qQNaN());
    QCOMPARE(bar.percentage(), 40.0);
    bar.setColor(QColor());
    QCOMPARE(bar.color(), QColor(Qt::blue));
}

void TestThresholdBar::infiniteShareIsFullWithoutInf()
{
    ThresholdBar bar;
    bar.resize(100, 22);
    bar.setColor(Qt::red);
    bar.setPercentage(qInf());
    QCOMPARE(ThresholdBar::filledWidth(100, bar.percentage()), 100);
    QVERIFY(!bar.text().contains("inf", Qt::CaseInsensitive));
    QVERIFY(!bar.text().contains("nan", Qt::CaseInsensitive));
    QCOMPARE(render(bar).pixelColor(99, 0), ThresholdBar::exceededColor());
}

void TestThresholdBar::amountsBesideTheShare()
{
    ThresholdBar bar;
    bar.setPercentage(70);
    bar.setAmounts(0.35, 0.5, QString::fromUtf8("мЗв"));
    QCOMPARE(bar.text(), QString::fromUtf8("0.35 из 0.50 мЗв (70.0%)"));
    // A limit below 0.1 keeps the decimals that tell it from zero.
    bar.setAmounts(0.0123, 0.05, QString::fromUtf8("мЗв"));
    QVERIFY(bar.text().startsWith(QString::fromUtf8("0.0123 из 0.0500 мЗв")));
    // The bar asks for room for all of it.
    QVERIFY(bar.sizeHint().width() >= QFontMetrics(bar.font()).horizontalAdvance(bar.text()));
}

void TestThresholdBar::sizeHintAndPolicy()
{
    ThresholdBar bar;
    QCOMPARE(bar.sizeHint(), QSize(150, 22));
    QCOMPARE(bar.sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(bar.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
}

void TestThresholdBar::boxAddsAndClearsBars()
{
    ThresholdsWidget box;
    QCOMPARE(box.barCount(), 0);
    box.addBar("<b>Годовой</b>", Qt::green, 50);
    box.addBar("Суточный", QColor(1, 2, 3), 150);
    QCOMPARE(box.barCount(), 2);
    QCOMPARE(box.barName(0), QString("<b>Годовой</b>"));
    QCOMPARE(box.findChildren<QLabel *>().first()->textFormat(), Qt::PlainText);
    QCOMPARE(box.bar(1)->color(), QColor(1, 2, 3));
    QCOMPARE(box.bar(1)->percentage(), 150.0);
    QPointer<ThresholdBar> first = box.bar(0);
    box.clear();
    QCOMPARE(box.barCount(), 0);
    QVERIFY(first.isNull());
    QVERIFY(box.findChildren<QLabel *>().isEmpty());
}

QTEST_MAIN(TestThresholdBar)
#include "tst_thresholdbar.moc"
