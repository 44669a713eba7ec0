#pragma once

#include "db/DoseRecordSettings.h"

#include <QScopedPointer>
#include <QWidget>

namespace Ui {
class DoseAccountingWidget;
}

// The office-wide dose accounting section of the program settings: whether
// the dosimeters' counter readings count, and the annual limits, shown in the
// display unit of the options as they were when the section was filled.
class DoseAccountingWidget : public QWidget
{
    Q_OBJECT
public:
    explicit DoseAccountingWidget(QWidget *parent = nullptr);
    ~DoseAccountingWidget() override;

    DoseRecordSettings settings() const;
    void setSettings(const DoseRecordSettings &settings);
    // Gives the settings to the data store.
    bool store() const;

private:
    QScopedPointer<Ui::DoseAccountingWidget> m_ui;
    int m_units = 1;
};
