#include "common/ModalHelper.h"
#include "ui/AboutDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QtTest>

class AboutTest : public QObject
{
    Q_OBJECT
private slots:
    void formShowsComponentsFirst()
    {
        AboutDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString::fromUtf8("О программе"));
        auto *tabs = dialog.findChild<QTabWidget *>("tabWidget");
        QVERIFY(tabs);
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->tabText(0), QString::fromUtf8("О программе"));
        QCOMPARE(tabs->tabText(1), QString::fromUtf8("Компоненты"));
        QCOMPARE(tabs->currentWidget()->objectName(), QString("tab_2"));
        // Closed by the window's close button or Escape only.
        QVERIFY(dialog.findChildren<QPushButton *>().isEmpty());
        QVERIFY(dialog.findChildren<QDialogButtonBox *>().isEmpty());
        QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));

        auto text = [&](const char *name) {
            auto *label = dialog.findChild<QLabel *>(name);
            return label ? label->text() : QString();
        };
        QCOMPARE(text("label_4"), QString::fromUtf8("КВР-TM4040, версия 1.0"));
        QVERIFY(text("label_5").startsWith(QString::fromUtf8("Разработка ")));
        QVERIFY(text("label_5").contains("orvane"));
        QCOMPARE(text("label_6"), QString::fromUtf8("Средство создания отчётов QtRPT"));
    }

    void creditsLinkToTheirSites_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("linkText");
        QTest::addColumn<QString>("host");
        QTest::newRow("silk") << "label_3" << QString::fromUtf8("Иконки ") << "Silk icons"
                              << "www.famfamfam.com";
        QTest::newRow("qt") << "label" << QString::fromUtf8("Кроссплатформенный фреймворк ") << "Qt"
                            << "www.qt.io";
        QTest::newRow("qcustomplot")
            << "label_2" << QString::fromUtf8("Виджет для построения графиков ") << "QCustomPlot"
            << "www.qcustomplot.com";
    }

    void creditsLinkToTheirSites()
    {
        QFETCH(QString, object);
        QFETCH(QString, prefix);
        QFETCH(QString, linkText);
        QFETCH(QString, host);
        AboutDialog dialog;
        auto *label = dialog.findChild<QLabel *>(object);
        QVERIFY(label);
        QVERIFY(label->openExternalLinks());
        QCOMPARE(label->textFormat(), Qt::RichText);
        const QRegularExpression link("^(.*)<a href=\"([^\"]+)\">([^<]+)</a>$");
        const auto match = link.match(label->text());
        QVERIFY2(match.hasMatch(), qPrintable(label->text()));
        QCOMPARE(match.captured(1), prefix);
        QCOMPARE(match.captured(3), linkText);
        const QUrl url(match.captured(2));
        QVERIFY(url.scheme().startsWith("http"));
        QCOMPARE(url.host(), host);
    }

    void escapeClosesTheDialog()
    {
        AboutDialog dialog;
        bool answered = false;
        TestSupport::onNextModal([&](QWidget *modal) {
            answered = true;
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QVERIFY(answered);
    }
};

QTEST_MAIN(AboutTest)
#include "tst_about.moc"
