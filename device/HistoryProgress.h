#pragma once

class QProgressBar;

// How the history dialogs show a download on their progress bar: busy while
// nothing is known yet, the records received while the device sends them
// (from plug-ins that tell), then the reader's percentages once the records
// are handed on.
namespace HistoryProgress {

void showBusy(QProgressBar *bar);
// "Получено записей: 120 из 501".
void showReceived(QProgressBar *bar, int received, int total);
void showPercent(QProgressBar *bar, int percent);
// An idle bar at 0 %.
void reset(QProgressBar *bar);

} // namespace HistoryProgress
