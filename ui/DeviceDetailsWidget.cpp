#include "ui/DeviceDetailsWidget.h"

DeviceDetailsWidget::DeviceDetailsWidget(QWidget *parent)
    : QWidget(parent)
{ }
