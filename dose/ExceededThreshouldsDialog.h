#pragma once

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class ExceededThreshouldsDialog;
}

// Lists every threshold exceeded at the moment the dialog is built, under a
// red banner. As a gate before a dosimeter is assigned it shows a button to
// go on anyway: exec() is then accepted only through that button.
class ExceededThreshouldsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ExceededThreshouldsDialog(bool showContinueButton, QWidget *parent = nullptr);
    ~ExceededThreshouldsDialog() override;

private:
    void fillTable();

    QScopedPointer<Ui::ExceededThreshouldsDialog> ui;
};
