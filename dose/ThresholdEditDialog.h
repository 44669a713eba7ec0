#pragma once

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class ThresholdEditDialog;
}
struct ThresholdData;

// Edits one threshold's working copy in place; the copy changes only when the
// dialog is accepted.
class ThresholdEditDialog : public QDialog
{
    Q_OBJECT
public:
    ThresholdEditDialog(ThresholdData *data, QWidget *parent = nullptr);
    ~ThresholdEditDialog() override;

public slots:
    void accept() override;

private:
    QScopedPointer<Ui::ThresholdEditDialog> ui;
    ThresholdData *m_data;
    // What the spin boxes showed at the start: a value they had to round or
    // clamp is kept as it was unless the operator changed it.
    double m_shownValue = 0;
    int m_shownDays = 0;
};
