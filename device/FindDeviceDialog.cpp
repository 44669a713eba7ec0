#include "device/FindDeviceDialog.h"
#include "ui_FindDeviceDialog.h"

#include "db/DataBase.h"
#include "device/ConnectorHelper.h"
#include "device/DeviceConnection.h"
#include "device/DeviceDetailsDialog.h"

#include <QMessageBox>
#include <QPushButton>

FindDeviceDialog::FindDeviceDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::FindDeviceDialog)
{
    ui->setupUi(this);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr(" Найти прибор "));
    const auto types = VDB::DataBase::instance()->deviceTypes();
    for (DeviceType *type : types)
        ui->deviceTypeComboBox->addItem(type->name, QVariant::fromValue<void *>(type));
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &FindDeviceDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &FindDeviceDialog::reject);
}

FindDeviceDialog::~FindDeviceDialog()
{
    // A search cannot be interrupted inside the plug-in: wait for it before
    // its connection goes.
    m_worker.join();
    delete m_connection;
}

void FindDeviceDialog::accept()
{
    if (m_searching)
        return;
    auto *type = static_cast<DeviceType *>(ui->deviceTypeComboBox->currentData().value<void *>());
    if (!type) {
        QMessageBox::critical(this, tr("Ошибка"), tr("На доступных портах прибор не найден"));
        return;
    }
    m_worker.join();
    // Closes the link of an earlier search.
    delete m_connection;
    m_connection = new DeviceConnection(type);

    setSearching(true);
    auto *helper = new ConnectorHelper(m_connection);
    m_worker.start(helper, &ConnectorHelper::finished);
    connect(helper, &ConnectorHelper::finished, this, &FindDeviceDialog::connected);
    m_worker.run();
}

void FindDeviceDialog::reject()
{
    if (m_searching)
        return;
    QDialog::reject();
}

void FindDeviceDialog::connected(bool found)
{
    m_worker.join();
    setSearching(false);
    if (!found) {
        QMessageBox::critical(this, tr("Ошибка"), tr("На доступных портах прибор не найден"));
        return;
    }
    hide();
    DeviceDetailsDialog details(m_connection->info(), this);
    if (details.exec() == QDialog::Accepted)
        QDialog::accept();
    else
        QDialog::reject();
}

void FindDeviceDialog::setSearching(bool searching)
{
    m_searching = searching;
    // A busy indicator while searching.
    ui->progressBar->setMaximum(searching ? 0 : 100);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(!searching);
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setEnabled(!searching);
    ui->deviceTypeComboBox->setEnabled(!searching);
}
