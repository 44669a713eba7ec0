#include "device/HistoryProgress.h"

#include <QCoreApplication>
#include <QProgressBar>

namespace HistoryProgress {

namespace {

void setPercentRange(QProgressBar *bar)
{
    if (bar->maximum() != 100 || bar->minimum() != 0)
        bar->setRange(0, 100);
    bar->setFormat(QStringLiteral("%p%"));
}

} // namespace

void showBusy(QProgressBar *bar)
{
    bar->setRange(0, 0);
}

void showReceived(QProgressBar *bar, int received, int total)
{
    bar->setRange(0, qMax(total, 1));
    bar->setValue(qBound(0, received, qMax(total, 1)));
    bar->setFormat(QCoreApplication::translate("HistoryProgress", "Получено записей: %1 из %2")
                       .arg(received)
                       .arg(total));
}

void showPercent(QProgressBar *bar, int percent)
{
    setPercentRange(bar);
    bar->setValue(percent);
}

void reset(QProgressBar *bar)
{
    setPercentRange(bar);
    bar->setValue(0);
}

} // namespace HistoryProgress
