#pragma once

#include "db/DataBase.h"

#include <QScopedPointer>
#include <QWidget>

class QAction;
class QLabel;
class QMenu;
class ChartWidget;

namespace Ui {
class UserDetailsWidget;
}

// The page of one user: who the user is, the assigned dosimeter, the user
// threshold bars, the dose events of one day and the day, month, year and
// period dose charts.
class UserDetailsWidget : public QWidget
{
    Q_OBJECT
public:
    // Tab indexes of tabWidget.
    enum Tab { DayTab = 0, MonthTab = 1, YearTab = 2, PeriodTab = 3 };
    // Columns of the day table.
    enum DayColumn { TimeColumn = 0, DeviceColumn = 1, DoseColumn = 2, RateColumn = 3 };

    // `editUserAction` and `delUserAction` make the user menu; either may be
    // null and is then left out.
    UserDetailsWidget(QAction *editUserAction, QAction *delUserAction, QWidget *parent = nullptr);
    ~UserDetailsWidget() override;

    SharedUser user() const { return m_user; }
    void setUser(SharedUser user);

    // The state column's text for an event's flags.
    static QString stateText(const VDB::Event &event);

    // A window of whole days, both included.
    struct Window
    {
        QDate first;
        QDate last;
    };

public slots:
    void beforeShowUserMenu();
    void deviceButtonClicked();
    void changeDay();
    void updateThresholds();
    void optionsChanged();
    void refillDayHistory();
    void updateMonthChart();
    void updateYearChart();
    void updateRangeChart();
    void printReport();
    // The report's fields and images, asked for while it is laid out.
    void getValue(const int recNo, const QString paramName, QVariant &paramValue,
                  const int reportPage);
    void getValueImage(int recNo, QString paramName, QImage &paramValue, int reportPage);

private slots:
    void refreshAfterHistory();
    void refreshDoseRecord();
    void exportDayTable();
    void printDoseCard();

private:
    // The parts of the page that show events.
    enum Part { DayPart = 1, MonthPart = 2, YearPart = 4, PeriodPart = 8 };

    void fillHead();
    void updateUnitHeadings();
    Window window(Part part) const;
    // Reads the events of the given parts and shows them.
    void refill(int parts);
    void feedChart(ChartWidget *chart, const QList<VDB::Event> &events, const QDate &first,
                   const QDate &last);
    // Bars of the dose of record per day, or per month, and the total.
    void feedDoseChart(ChartWidget *chart, QLabel *totalLabel, const QVector<DayDose> &days,
                       const Window &w, bool perMonth);
    void fillHistoryTable(const QList<VDB::Event> &events);

    QScopedPointer<Ui::UserDetailsWidget> m_ui;
    SharedUser m_user;
    QAction *m_editUserAction = nullptr;
    QAction *m_delUserAction = nullptr;
    QMenu *m_userMenu = nullptr;
    int m_unitsShown = -1;
};
