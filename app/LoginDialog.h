#pragma once

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class LoginDialog;
}

// Asks for a login and a password and logs that user in to the data store.
// Stays open after a wrong combination; only a successful login accepts it.
class LoginDialog : public QDialog
{
    Q_OBJECT
public:
    explicit LoginDialog(QWidget *parent = nullptr);
    ~LoginDialog() override;

public slots:
    void accept() override;

private:
    QScopedPointer<Ui::LoginDialog> ui;
};
