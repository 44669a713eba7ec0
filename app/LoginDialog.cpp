#include "app/LoginDialog.h"
#include "ui_LoginDialog.h"

#include "db/DataBase.h"

#include <QMessageBox>
#include <QPushButton>

LoginDialog::LoginDialog(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint)
    , ui(new Ui::LoginDialog)
{
    ui->setupUi(this);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &LoginDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &LoginDialog::reject);
}

LoginDialog::~LoginDialog() = default;

void LoginDialog::accept()
{
    if (VDB::DataBase::instance()->login(ui->loginLineEdit->text(), ui->passwordLineEdit->text())) {
        QDialog::accept();
        return;
    }
    // The entered texts stay, so a typo can be corrected in place.
    QMessageBox::critical(this, tr("Ошибка входа"), tr("Некорректное сочетание логина и пароля"));
}
