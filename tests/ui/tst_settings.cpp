#include "common/ModalHelper.h"
#include "common/TestDatabase.h"

#include "ui/ProgrammSettingsDialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

using TestSupport::TestDatabase;

namespace {

template<typename T> T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

// Answers the next colour dialog with `color`, or cancels it when invalid.
void pickColorNext(const QColor &color)
{
    TestSupport::onNextModal([color](QWidget *widget) {
        auto *dialog = qobject_cast<QColorDialog *>(widget);
        if (!dialog) {
            if (auto *other = qobject_cast<QDialog *>(widget))
                other->reject();
            return;
        }
        if (!color.isValid()) {
            dialog->reject();
            return;
        }
        dialog->setCurrentColor(color);
        dialog->accept();
    });
}

QString styleOf(const QColor &color)
{
    return QStringLiteral("background-color: rgb(%1, %2, %3)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue());
}

} // namespace

class ProgrammSettingsDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opensWithTheStoredOptions();
    void colorButtonsTakePickedColors();
    void onlyCloseButtonStores();
    void unitChangeAnnouncesOptionsAndThresholds();
    void everyFieldIsStored();

private:
    QScopedPointer<TestDatabase> m_db;
};

void ProgrammSettingsDialogTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
}

void ProgrammSettingsDialogTest::cleanup()
{
    m_db.reset();
}

void ProgrammSettingsDialogTest::opensWithTheStoredOptions()
{
    ProgrammSettingsDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Настройки программы"));
    QCOMPARE(child<QTabWidget>(&dialog, "tabWidget")->currentIndex(), 0);
    QVERIFY(!child<QCheckBox>(&dialog, "delHistoryCheckBox")->isChecked());
    QVERIFY(!child<QCheckBox>(&dialog, "synchronizeDateCheckBox")->isChecked());
    QVERIFY(!child<QCheckBox>(&dialog, "turnOffDeviceCheckBox")->isChecked());
    // Worded as the import dialog's check box it presets.
    QCOMPARE(child<QCheckBox>(&dialog, "turnOffDeviceCheckBox")->text(),
             QStringLiteral("Выключить прибор"));
    QVERIFY(!child<QCheckBox>(&dialog, "undockDeviceCheckBox")->isChecked());
    QCOMPARE(child<QSpinBox>(&dialog, "daysSpinBox")->value(), 7);
    QCOMPARE(child<QSpinBox>(&dialog, "daysSpinBox")->minimum(), 1);
    QCOMPARE(child<QSpinBox>(&dialog, "daysSpinBox")->maximum(), 9999);
    QVERIFY(child<QRadioButton>(&dialog, "svRadioButton")->isChecked());
    QCOMPARE(child<QRadioButton>(&dialog, "rRadioButton")->text(), QStringLiteral("мР"));
    QCOMPARE(child<QRadioButton>(&dialog, "svRadioButton")->text(), QStringLiteral("мЗв"));
    QCOMPARE(child<QRadioButton>(&dialog, "remRadioButton")->text(), QStringLiteral("мРем"));

    auto *edGamma = child<QPushButton>(&dialog, "edGammaButton");
    QCOMPARE(edGamma->property("color").value<QColor>(), QColor(254, 129, 30));
    QCOMPARE(edGamma->styleSheet(), QStringLiteral("background-color: rgb(254, 129, 30)"));
    QCOMPARE(child<QPushButton>(&dialog, "medAlfaButton")->property("color").value<QColor>(),
             QColor(64, 0, 249));
}

void ProgrammSettingsDialogTest::colorButtonsTakePickedColors()
{
    ProgrammSettingsDialog dialog;
    dialog.show();
    auto *button = child<QPushButton>(&dialog, "medBetaButton");
    const QColor before = button->property("color").value<QColor>();

    pickColorNext(QColor());
    button->click();
    QCOMPARE(button->property("color").value<QColor>(), before);
    QCOMPARE(button->styleSheet(), styleOf(before));

    pickColorNext(QColor(255, 0, 128));
    button->click();
    QCOMPARE(button->property("color").value<QColor>(), QColor(255, 0, 128));
    QCOMPARE(button->styleSheet(), QStringLiteral("background-color: rgb(255, 0, 128)"));
}

void ProgrammSettingsDialogTest::onlyCloseButtonStores()
{
    VDB::DataBase *db = m_db->db();
    QSignalSpy changed(db, &VDB::DataBase::optionsChanged);
    const QByteArray storedColors
        = TestDatabase::scalar(QStringLiteral("SELECT medColors FROM Options")).toByteArray();

    // Escape and the window's close button discard everything, picked colours too.
    for (int way = 0; way < 2; ++way) {
        ProgrammSettingsDialog dialog;
        TestSupport::onNextModal([way](QWidget *widget) {
            pickColorNext(QColor(1, 2, 3));
            child<QPushButton>(widget, "medAlfaButton")->click();
            child<QSpinBox>(widget, "daysSpinBox")->setValue(30);
            child<QRadioButton>(widget, "remRadioButton")->setChecked(true);
            if (way == 0)
                QTest::keyClick(widget, Qt::Key_Escape);
            else
                widget->close();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    }
    QCOMPARE(changed.count(), 0);
    QCOMPARE(db->options().interval, 7);
    QCOMPARE(db->options().medColor(0), QColor(64, 0, 249));
    QCOMPARE(TestDatabase::scalar(QStringLiteral("SELECT medColors FROM Options")).toByteArray(),
             storedColors);

    ProgrammSettingsDialog dialog;
    TestSupport::onNextModal([](QWidget *widget) {
        pickColorNext(QColor(1, 2, 3));
        child<QPushButton>(widget, "medAlfaButton")->click();
        child<QPushButton>(widget, "closeButton")->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(db->options().medColor(0), QColor(1, 2, 3));
}

void ProgrammSettingsDialogTest::unitChangeAnnouncesOptionsAndThresholds()
{
    VDB::DataBase *db = m_db->db();
    QSignalSpy changed(db, &VDB::DataBase::optionsChanged);
    QSignalSpy thresholds(db, &VDB::DataBase::thresholdsUpdated);

    // Closing without a change still stores, but only a unit change touches thresholds.
    {
        ProgrammSettingsDialog dialog;
        TestSupport::onNextModal(
            [](QWidget *widget) { child<QPushButton>(widget, "closeButton")->click(); });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    }
    QCOMPARE(changed.count(), 1);
    QCOMPARE(thresholds.count(), 0);

    ProgrammSettingsDialog dialog;
    TestSupport::onNextModal([](QWidget *widget) {
        child<QRadioButton>(widget, "remRadioButton")->setChecked(true);
        child<QPushButton>(widget, "closeButton")->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(thresholds.count(), 1);
    QCOMPARE(db->options().units, 2);

    ProgrammSettingsDialog reopened;
    QVERIFY(child<QRadioButton>(&reopened, "remRadioButton")->isChecked());
}

void ProgrammSettingsDialogTest::everyFieldIsStored()
{
    ProgrammSettingsDialog dialog;
    TestSupport::onNextModal([](QWidget *widget) {
        child<QCheckBox>(widget, "delHistoryCheckBox")->setChecked(true);
        child<QCheckBox>(widget, "undockDeviceCheckBox")->setChecked(true);
        child<QSpinBox>(widget, "daysSpinBox")->setValue(31);
        child<QRadioButton>(widget, "rRadioButton")->setChecked(true);
        pickColorNext(QColor(10, 20, 30));
        child<QPushButton>(widget, "edGammaButton")->click();
        child<QPushButton>(widget, "closeButton")->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));

    m_db->reopen();
    const Options &options = m_db->db()->options();
    QVERIFY(options.delHistory);
    QVERIFY(!options.synchronizeDate);
    QVERIFY(!options.turnOffDevice);
    QVERIFY(options.undockDevice);
    QCOMPARE(options.interval, 31);
    QCOMPARE(options.units, 0);
    QCOMPARE(options.edColor(2), QColor(10, 20, 30));
    QCOMPARE(options.edColor(1), QColor(115, 255, 137));
    QCOMPARE(options.edColor(3), QColor(0, 0, 0));
    QCOMPARE(TestDatabase::scalar(QStringLiteral("SELECT settings FROM Options")).toInt(),
             0 + 4 + 32);

    ProgrammSettingsDialog reopened;
    QVERIFY(child<QCheckBox>(&reopened, "delHistoryCheckBox")->isChecked());
    QVERIFY(child<QRadioButton>(&reopened, "rRadioButton")->isChecked());
    QCOMPARE(child<QSpinBox>(&reopened, "daysSpinBox")->value(), 31);
}

QTEST_MAIN(ProgrammSettingsDialogTest)
#include "tst_settings.moc"
