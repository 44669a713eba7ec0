#pragma once

#include <QColor>
#include <QScopedPointer>
#include <QWidget>

namespace Ui {
class ThresholdsWidget;
}
class ThresholdBar;

// The "Пороги" box of the user and group pages: one caption and one
// ThresholdBar per threshold, top to bottom in the order they were added.
class ThresholdsWidget : public QWidget
{
    Q_OBJECT
public:
    explicit ThresholdsWidget(QWidget *parent = nullptr);
    ~ThresholdsWidget() override;

    // Removes and deletes every caption and bar.
    void clear();
    // Appends a caption with `name` and below it a bar of `color` filled to
    // `percentage` (see ThresholdEvaluator::fillPercentage).
    // `dose` and `limit` in the display milli-unit; negative ones are not
    // shown.
    void addBar(const QString &name, const QColor &color, double percentage, double dose = -1,
                double limit = -1);

    int barCount() const;
    ThresholdBar *bar(int index) const;
    QString barName(int index) const;

private:
    QScopedPointer<Ui::ThresholdsWidget> ui;
};
