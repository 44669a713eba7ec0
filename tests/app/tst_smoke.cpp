#include "ui/OrvaneWindow.h"

#include <QtTest>

class SmokeTest : public QObject
{
    Q_OBJECT
private slots:
    void windowHasTitle()
    {
        OrvaneWindow window;
        QCOMPARE(window.windowTitle(), QString::fromUtf8("КВР-ТМ4040"));
    }
};

QTEST_MAIN(SmokeTest)
#include "tst_smoke.moc"
