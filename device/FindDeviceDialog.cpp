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
    // Wake a running search and wait for it before its connection goes.
    if (m_searching && m_connection)
        m_connection->interrupt();
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

    m_cancelled = false;
    setSearching(true);
    auto *helper = new ConnectorHelper(m_connection);
    m_worker.start(helper, &ConnectorHelper::finished);
    connect(helper, &ConnectorHelper::finished, this, &FindDeviceDialog::connected);
    m_worker.run();
}

void FindDeviceDialog::reject()
{
    if (!m_searching) {
        QDialog::reject();
        return;
    }
    if (m_cancelled)
        return;
    // The worker still uses the connection: wake it and close once it ends.
    m_cancelled = true;
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setEnabled(false);
    m_connection->interrupt();
}

void FindDeviceDialog::connected(bool found)
{
    m_worker.join();
    setSearching(false);
    if (m_cancelled) {
        m_connection->disconnect();
        QDialog::reject();
        return;
    }
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
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setEnabled(true);
    ui->deviceTypeComboBox->setEnabled(!searching);
}
