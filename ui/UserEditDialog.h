#pragma once

#include "db/SharedTypes.h"

#include <QDialog>
#include <QPixmap>
#include <QScopedPointer>

namespace Ui {
class UserEditDialog;
}

// Creates a new user or edits an existing one. The dialog builds a user record
// from its fields and hands it to the data store, which validates and stores it.
class UserEditDialog : public QDialog
{
    Q_OBJECT
public:
    // `user` empty for a new user; `group` is checked in the group list.
    UserEditDialog(const SharedUser &user, const SharedGroup &group, QWidget *parent = nullptr);
    ~UserEditDialog() override;

public slots:
    void accept() override;
    void selectPicture();

private:
    void fillFromUser();
    void fillGroups(const SharedGroup &preselected);
    void showPicture(const QPixmap &picture);

    QScopedPointer<Ui::UserEditDialog> m_ui;
    SharedUser m_user;
    QPixmap m_picture; // chosen in this dialog; null keeps the stored photo
};
