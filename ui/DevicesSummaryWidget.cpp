#include "ui/DevicesSummaryWidget.h"

DevicesSummaryWidget::DevicesSummaryWidget(QWidget *parent)
    : QWidget(parent)
{ }
