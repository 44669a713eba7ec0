#include "app/DiagnosticLog.h"
#include "app/InstallLayout.h"
#include "common/ModalHelper.h"
#include "ui/AboutDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
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
        // The developer in Russian, with a link to the web site.
        QCOMPARE(text("label_5"),
                 QString::fromUtf8("Разработка <a href=\"%1\">команда «Норвилон»</a>")
                     .arg(InstallLayout::homepage()));
        QVERIFY(dialog.findChild<QLabel *>("label_5")->openExternalLinks());
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

    // The office finds the diagnostics log to send from here.
    void namesTheLogFolder()
    {
        {
            AboutDialog dialog;
            QVERIFY(dialog.findChild<QLabel *>("logLabel")->isHidden());
        }
        QTemporaryDir dir;
        const QString log = DiagnosticLog::fileNameIn(dir.path());
        DiagnosticLog::install(log);
        AboutDialog dialog;
        DiagnosticLog::uninstall();
        auto *label = dialog.findChild<QLabel *>("logLabel");
        QVERIFY(!label->isHidden());
        QVERIFY(label->openExternalLinks());
        QVERIFY2(label->text().contains("orvane.log"), qPrintable(label->text()));
        const QRegularExpression link("<a href=\"([^\"]+)\">");
        QCOMPARE(QUrl(link.match(label->text()).captured(1)), QUrl::fromLocalFile(dir.path()));
        QVERIFY(label->toolTip().contains(QDir::toNativeSeparators(log)));
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
