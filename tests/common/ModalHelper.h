#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QDialog;
class QWidget;

// Helpers that answer modal dialogs from the event loop, so a test can drive
// a flow that calls exec() without hanging.
namespace TestSupport {

// Calls `answer` with the next modal widget that opens (one that is not the
// modal widget active right now). Gives up after `timeoutMs`.
void onNextModal(std::function<void(QWidget *)> answer, int timeoutMs = 60000);

// What a message box showed before it was answered.
struct SeenMessageBox
{
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Presses `button` on the next message box and records what it showed.
// The returned record is filled in when the box opens.
std::shared_ptr<SeenMessageBox> answerNextMessageBox(QMessageBox::StandardButton button,
                                                     int timeoutMs = 60000);

// Rejects `dialog` (its Close) once `done` holds, for dialogs that stay
// open with a result until the operator closes them. Gives up after
// `timeoutMs` or when the dialog goes.
void closeWhen(QDialog *dialog, std::function<bool()> done, int timeoutMs = 60000);

} // namespace TestSupport
