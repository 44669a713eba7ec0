#pragma once

#include "db/SharedTypes.h"

#include <QScopedPointer>
#include <QWidget>

class QImage;
class QVariant;

namespace Ui {
class DevicesSummaryWidget;
}

// Page of the tree's "Приборы" root: the assignment history of all device
// types within a period and the number of devices of each type in use.
class DevicesSummaryWidget : public QWidget
{
    Q_OBJECT
public:
    explicit DevicesSummaryWidget(QWidget *parent = nullptr);
    ~DevicesSummaryWidget() override;

signals:
    void userSelected(SharedUser user);

public slots:
    void refillCurrentState();
    void refillHistory();
    void linkClicked(QString link);
    void printReport();
    void getValue(const int record, const QString name, QVariant &value, const int page);
    void getValueImage(int record, QString name, QImage &image, int page);

private:
    QScopedPointer<Ui::DevicesSummaryWidget> m_ui;
};
