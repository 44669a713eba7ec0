#pragma once

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class ConfirmCredentialsDialog;
}

// Asks for the administrator's login and password before an operation that
// needs them; it only collects the texts, the caller checks them.
class ConfirmCredentialsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ConfirmCredentialsDialog(QWidget *parent = nullptr);
    ~ConfirmCredentialsDialog() override;

    QString login() const;
    QString password() const;
    // What the confirmation is for, shown above the fields (device and
    // operation); hidden when empty.
    void setOperation(const QString &operation);

    // Runs the dialog with `parent` for `operation` and checks the entered
    // texts against the administrators of the data store. Returns true when
    // the operation may go on. A cancelled dialog returns false silently;
    // wrong credentials are reported to the operator before false is returned.
    static bool confirmAdministrator(QWidget *parent, const QString &operation = QString());

private:
    QScopedPointer<Ui::ConfirmCredentialsDialog> ui;
};
