#include "app/ConfirmCredentialsDialog.h"
#include "ui_ConfirmCredentialsDialog.h"

#include "db/DataBase.h"

#include <QLayout>
#include <QMessageBox>

ConfirmCredentialsDialog::ConfirmCredentialsDialog(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint)
    , ui(new Ui::ConfirmCredentialsDialog)
{
    ui->setupUi(this);
    // The administrator's password must never be readable on screen: the
    // field hides what is typed, as the login dialog's does.
    ui->passwordLineEdit->setEchoMode(QLineEdit::Password);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &ConfirmCredentialsDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &ConfirmCredentialsDialog::reject);
    setOperation(QString());
}

ConfirmCredentialsDialog::~ConfirmCredentialsDialog() = default;

QString ConfirmCredentialsDialog::login() const
{
    return ui->loginLineEdit->text();
}

QString ConfirmCredentialsDialog::password() const
{
    return ui->passwordLineEdit->text();
}

void ConfirmCredentialsDialog::setOperation(const QString &operation)
{
    ui->operationLabel->setText(operation);
    ui->operationLabel->setVisible(!operation.isEmpty());
    if (operation.isEmpty())
        return;
    // Room for the wrapped lines: the form's size was made without them.
    const int width = qMax(this->width(), 440);
    resize(width, qMax(height(), layout()->totalHeightForWidth(width)));
}

bool ConfirmCredentialsDialog::confirmAdministrator(QWidget *parent, const QString &operation)
{
    ConfirmCredentialsDialog dialog(parent);
    dialog.setOperation(operation);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (VDB::DataBase::instance()->isMainAdministrator(dialog.login(), dialog.password()))
        return true;
    QMessageBox::critical(parent, tr("Ошибка"),
                          tr("Логин и пароль не соответствуют администратору программы"));
    return false;
}
