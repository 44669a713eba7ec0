#pragma once

#include "db/SharedTypes.h"

#include <QScopedPointer>
#include <QWidget>

class QImage;
class QVariant;

namespace Ui {
class DeviceDetailsWidget;
}

// Page of one device type: its assignment history within a period and the
// users who hold a device of that type now.
class DeviceDetailsWidget : public QWidget
{
    Q_OBJECT
public:
    explicit DeviceDetailsWidget(QWidget *parent = nullptr);
    ~DeviceDetailsWidget() override;

    // Shows `type` (a record of the data store's cache) and fills the tables.
    void setDevice(DeviceType *type);
    DeviceType *device() const { return m_device; }

signals:
    void userSelected(SharedUser user);

public slots:
    void refillHistory();
    void historyAdded();
    void updateCurrentState();
    void linkClicked(QString link);
    void printReport();
    void getValue(const int record, const QString name, QVariant &value, const int page);
    void getValueImage(int record, QString name, QImage &image, int page);

private:
    DeviceType *m_device = nullptr;
    QScopedPointer<Ui::DeviceDetailsWidget> m_ui;
};
