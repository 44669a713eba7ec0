#include "common/ModalHelper.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <memory>

namespace TestSupport {

void onNextModal(std::function<void(QWidget *)> answer, int timeoutMs)
{
    QPointer<QWidget> before = QApplication::activeModalWidget();
    auto *timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [=]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal != before.data() && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
            return;
        }
        if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

std::shared_ptr<SeenMessageBox> answerNextMessageBox(QMessageBox::StandardButton button,
                                                     int timeoutMs)
{
    auto seen = std::make_shared<SeenMessageBox>();
    onNextModal(
        [seen, button](QWidget *widget) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            if (!box) {
                if (auto *dialog = qobject_cast<QDialog *>(widget))
                    dialog->reject();
                return;
            }
            seen->seen = true;
            seen->title = box->windowTitle();
            seen->text = box->text();
            seen->icon = box->icon();
            if (QAbstractButton *b = box->button(button))
                b->click();
            else
                box->done(button);
        },
        timeoutMs);
    return seen;
}

void closeWhen(QDialog *dialog, std::function<bool()> done, int timeoutMs)
{
    QPointer<QDialog> guard(dialog);
    auto *timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [=]() {
        const bool expired = clock->elapsed() > timeoutMs;
        if (guard && !expired && !done())
            return;
        timer->stop();
        timer->deleteLater();
        if (guard && !expired)
            guard->reject();
    });
    timer->start();
}

} // namespace TestSupport
