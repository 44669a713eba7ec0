#include "dose/ThresholdsWidget.h"

#include "db/DoseUnits.h"
#include "ui_ThresholdsWidget.h"

#include "dose/ThresholdBar.h"

#include <QLabel>

ThresholdsWidget::ThresholdsWidget(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::ThresholdsWidget)
{
    ui->setupUi(this);
}

ThresholdsWidget::~ThresholdsWidget() = default;

void ThresholdsWidget::clear()
{
    while (QLayoutItem *item = ui->barsLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

void ThresholdsWidget::addBar(const QString &name, const QColor &color, double percentage,
                              double dose, double limit)
{
    auto *label = new QLabel(ui->groupBox);
    // Names are shown as typed, never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(name);
    auto *bar = new ThresholdBar(ui->groupBox);
    bar->setColor(color);
    bar->setPercentage(percentage);
    if (dose >= 0 && limit >= 0)
        bar->setAmounts(dose, limit, DoseUnits::currentMilliUnitName());
    ui->barsLayout->addWidget(label);
    ui->barsLayout->addWidget(bar);
}

int ThresholdsWidget::barCount() const
{
    return ui->barsLayout->count() / 2;
}

ThresholdBar *ThresholdsWidget::bar(int index) const
{
    QLayoutItem *item = ui->barsLayout->itemAt(index * 2 + 1);
    return item ? qobject_cast<ThresholdBar *>(item->widget()) : nullptr;
}

QString ThresholdsWidget::barName(int index) const
{
    QLayoutItem *item = ui->barsLayout->itemAt(index * 2);
    auto *label = item ? qobject_cast<QLabel *>(item->widget()) : nullptr;
    return label ? label->text() : QString();
}
