#include "ui/UserEditDialog.h"
#include "ui_UserEditDialog.h"

#include "db/DataBase.h"
#include "db/Group.h"
#include "db/User.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>

namespace {

const char *const blankPortrait = ":/images/resources/pics/blank_user.png";

// Room for a picture inside the sunken frame of the picture label.
const QSize pictureArea(187, 250);

} // namespace

UserEditDialog::UserEditDialog(const SharedUser &user, const SharedGroup &group, QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::UserEditDialog)
    , m_user(user)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    m_ui->birthdayEdit->calendarWidget()->setFirstDayOfWeek(Qt::Monday);

    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &UserEditDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &UserEditDialog::reject);
    connect(m_ui->selectPictureButton, &QPushButton::clicked, this, &UserEditDialog::selectPicture);
    // The reason only matters while device use is forbidden.
    connect(m_ui->canUseDeviceCheckBox, &QCheckBox::toggled, m_ui->reasonTextEdit,
            &QWidget::setDisabled);
    connect(m_ui->isOperatorCheckBox, &QCheckBox::toggled, m_ui->loginLineEdit,
            &QWidget::setEnabled);
    connect(m_ui->isOperatorCheckBox, &QCheckBox::toggled, m_ui->passwordLineEdit,
            &QWidget::setEnabled);

    if (m_user)
        fillFromUser();
    fillGroups(group);
}

UserEditDialog::~UserEditDialog() = default;

void UserEditDialog::fillFromUser()
{
    const User &u = *m_user;
    m_ui->surnameLineEdit->setText(u.surname);
    m_ui->firstnameLineEdit->setText(u.firstname);
    m_ui->middlenameLineEdit->setText(u.middlename);
    m_ui->departmentLineEdit->setText(u.department);
    m_ui->commentTextEdit->setPlainText(u.comment);
    m_ui->loginLineEdit->setText(u.login);
    m_ui->passwordLineEdit->setText(u.password);
    m_ui->isOperatorCheckBox->setChecked(u.role == User::Operator || u.role == User::Administrator);
    // An administrator stays one; the tick only shows that he may log in.
    m_ui->isOperatorCheckBox->setDisabled(u.role == User::Administrator);
    if (u.sex == User::Male)
        m_ui->manRadioButton->setChecked(true);
    else
        m_ui->womanRadioButton->setChecked(true);
    showPicture(u.photo.isNull() ? QPixmap(QString::fromLatin1(blankPortrait)) : u.photo);
    m_ui->birthdayEdit->setDate(u.birthday);
    m_ui->canUseDeviceCheckBox->setChecked(u.canUseDevice);
    m_ui->reasonTextEdit->setPlainText(u.usageReason);
}

void UserEditDialog::fillGroups(const SharedGroup &preselected)
{
    const QList<SharedGroup> groups = VDB::DataBase::instance()->groups();
    for (const SharedGroup &group : groups) {
        auto *item = new QListWidgetItem(group->name, m_ui->groupsListWidget);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const bool member = (m_user && m_user->groups.contains(group)) || group == preselected;
        item->setCheckState(member ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, QVariant::fromValue(group));
    }
}

void UserEditDialog::showPicture(const QPixmap &picture)
{
    // Photos stored by older versions may be larger than the frame.
    if (picture.width() > pictureArea.width() || picture.height() > pictureArea.height())
        m_ui->pictureLabel->setPixmap(
            picture.scaled(pictureArea, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    else
        m_ui->pictureLabel->setPixmap(picture);
}

void UserEditDialog::selectPicture()
{
    const QString fileName = QFileDialog::getOpenFileName(
        this, tr("Выбрать фотографию"), QString(), tr("Файлы изображений (*.png *.jpg *.bmp)"));
    if (fileName.isEmpty())
        return;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QImage image(fileName);
    QPixmap picture;
    if (!image.isNull())
        picture = QPixmap::fromImage(
            image.scaled(pictureArea, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    if (!picture.isNull()) {
        m_ui->pictureLabel->setPixmap(picture);
        m_picture = picture;
    }
    QApplication::restoreOverrideCursor();
}

void UserEditDialog::accept()
{
    int role = m_ui->isOperatorCheckBox->isChecked() ? User::Operator : User::PlainUser;
    if (m_user && m_user->role == User::Administrator)
        role = User::Administrator;
    const int sex = m_ui->manRadioButton->isChecked() ? User::Male : User::Female;

    User data(0, role, sex);
    data.surname = m_ui->surnameLineEdit->text();
    data.firstname = m_ui->firstnameLineEdit->text();
    data.middlename = m_ui->middlenameLineEdit->text();
    data.department = m_ui->departmentLineEdit->text();
    data.login = m_ui->loginLineEdit->text();
    data.password = m_ui->passwordLineEdit->text();
    data.comment = m_ui->commentTextEdit->toPlainText();
    data.usageReason = m_ui->reasonTextEdit->toPlainText();
    data.photo = m_picture;
    data.birthday = m_ui->birthdayEdit->date();
    data.canUseDevice = m_ui->canUseDeviceCheckBox->isChecked();

    for (int row = 0; row < m_ui->groupsListWidget->count(); ++row) {
        const QListWidgetItem *item = m_ui->groupsListWidget->item(row);
        if (item->checkState() == Qt::Checked)
            data.groups.append(item->data(Qt::UserRole).value<SharedGroup>());
    }
    if (data.groups.isEmpty()) {
        QMessageBox::warning(this, tr("Предупреждение"),
                             tr("Пользователь должен входить хотя бы в одну группу"));
        return;
    }

    VDB::DataBase *db = VDB::DataBase::instance();
    const OperationResult result = m_user ? db->updateUser(m_user, data) : db->addUser(data);
    if (result.code == 0) {
        QDialog::accept();
        return;
    }
    if (result.code == 3) {
        const QString what = m_user ? tr("отредактировать") : tr("создать");
        QMessageBox::warning(
            this, tr("Предупреждение"),
            tr("Не удалось %1 пользователя. Причина: \"%2\"").arg(what, result.message));
        return;
    }
    QMessageBox::warning(this, tr("Предупреждение"), result.message);
}
