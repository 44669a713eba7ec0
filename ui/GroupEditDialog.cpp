#include "ui/GroupEditDialog.h"
#include "ui_GroupEditDialog.h"

#include "db/DataBase.h"
#include "db/Group.h"

#include <QMessageBox>

GroupEditDialog::GroupEditDialog(const SharedGroup &group, QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::GroupEditDialog)
    , m_group(group)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &GroupEditDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &GroupEditDialog::reject);

    if (m_group) {
        m_ui->nameLineEdit->setText(m_group->name);
        m_ui->descriptionTextEdit->setPlainText(m_group->description);
        m_ui->deviceLinkCheckBox->setChecked(m_group->access & Group::AssignDevices);
        m_ui->deviceSettingsCheckBox->setChecked(m_group->access & Group::DeviceSettings);
        m_ui->programmSettingsCheckBox->setChecked(m_group->access & Group::ProgramSettings);
    }
}

GroupEditDialog::~GroupEditDialog() = default;

void GroupEditDialog::accept()
{
    const QString name = m_ui->nameLineEdit->text();
    const QString description = m_ui->descriptionTextEdit->toPlainText();
    int access = 0;
    if (m_ui->deviceLinkCheckBox->isChecked())
        access |= Group::AssignDevices;
    if (m_ui->deviceSettingsCheckBox->isChecked())
        access |= Group::DeviceSettings;
    if (m_ui->programmSettingsCheckBox->isChecked())
        access |= Group::ProgramSettings;

    if (name.isEmpty()) {
        QMessageBox::warning(this, tr("Предупреждение"), tr("Необходимо задать название группы"));
        return;
    }

    VDB::DataBase *db = VDB::DataBase::instance();
    const QList<SharedGroup> groups = db->groups();
    for (const SharedGroup &group : groups) {
        if (group == m_group)
            continue;
        if (group->name == name) {
            QMessageBox::warning(this, tr("Предупреждение"),
                                 tr("Группа \"%1\" уже существует").arg(name));
            return;
        }
    }

    if (m_group)
        db->updateGroup(m_group, name, description, access);
    else
        db->addGroup(name, description, access);
    QDialog::accept();
}
