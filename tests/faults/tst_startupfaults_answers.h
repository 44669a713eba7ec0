#pragma once

#include "common/ModalHelper.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

// Answers the modal boxes that open while it lives, in order, with the given
// buttons, and keeps what each showed. A box beyond the list is rejected.
// Unlike a one-shot hook it ends with its scope, so a start-up that blocks
// for long cannot leave it behind to answer the next test's box.
class ScriptedAnswers
{
public:
    explicit ScriptedAnswers(const QList<QMessageBox::StandardButton> &buttons)
        : m_buttons(buttons)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this]() { answer(); });
        m_timer.start(5);
    }

    const QList<TestSupport::SeenMessageBox> &seen() const { return m_seen; }

private:
    void answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == m_last)
            return;
        m_last = modal;
        TestSupport::SeenMessageBox seen;
        seen.seen = true;
        seen.title = modal->windowTitle();
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (box) {
            seen.text = box->text();
            seen.icon = box->icon();
        }
        const int index = m_seen.size();
        m_seen << seen;
        if (box && index < m_buttons.size()) {
            if (QAbstractButton *button = box->button(m_buttons.at(index)))
                button->click();
            else
                box->done(m_buttons.at(index));
        } else if (auto *dialog = qobject_cast<QDialog *>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
    }

    QList<QMessageBox::StandardButton> m_buttons;
    QList<TestSupport::SeenMessageBox> m_seen;
    QPointer<QWidget> m_last;
    QTimer m_timer;
};
