#pragma once

#include "db/DataBase.h"
#include "dose/UserDetailsWidget.h"

#include <QHash>
#include <QScopedPointer>
#include <QWidget>

class QAction;
class QMenu;
class ChartWidget;

namespace Ui {
class GroupDetailsWidget;
}

// The page of one group: its name and description, the bars of the
// thresholds linked to it, its members with their current-month dose, and
// the month, year and period dose charts of the member selected in the table.
class GroupDetailsWidget : public QWidget
{
    Q_OBJECT
public:
    // Tab indexes of tabWidget.
    enum Tab { MonthTab = 0, YearTab = 1, PeriodTab = 2 };
    // Columns of usersTableWidget.
    enum Column {
        NameColumn = 0,
        DeviceColumn,
        MonthDoseColumn,
        OperatorColumn,
        SexColumn,
        CommentColumn
    };

    // The four actions make the group menu; any of them may be null and is
    // then left out.
    GroupDetailsWidget(QAction *addUserAction, QAction *editGroupAction, QAction *delGroupAction,
                       QAction *deviceUsageAction, QWidget *parent = nullptr);
    ~GroupDetailsWidget() override;

    SharedGroup group() const { return m_group; }
    void setGroup(SharedGroup group);
    // The member whose charts are shown; empty until a row is selected.
    SharedUser selectedUser() const { return m_selectedUser; }

    // A member's dose from the first day of the current month up to today,
    // in the display unit (the current-month column).
    static double monthDose(const SharedUser &user);

signals:
    void userSelected(SharedUser user);

public slots:
    void beforeShowGroupMenu();
    void dellUsersButtonClicked();
    void selectionChanged();
    void updateThresholds();
    void updateMonthChart();
    void updateYearChart();
    void updateRangeChart();
    void optionsChanged();
    void linkClicked(const QString &link);
    void printReport();
    // The report's fields and images, asked for while it is laid out.
    void getValue(const int recNo, const QString paramName, QVariant &paramValue,
                  const int reportPage);
    void getValueImage(int recNo, QString paramName, QImage &paramValue, int reportPage);

private:
    // The members' doses of the report being printed, by user id.
    QHash<int, double> m_reportDoses;
    void fillUsersTable();
    void showUserCharts(const SharedUser &user);
    UserDetailsWidget::Window window(const ChartWidget *chart) const;
    UserDetailsWidget::Window windowOfTab(int tab) const;
    // Charts the selected member's dose, or nothing without a member.
    void refillCharts(const QList<ChartWidget *> &charts);
    SharedUser userOfRow(int row) const;

    QScopedPointer<Ui::GroupDetailsWidget> m_ui;
    SharedGroup m_group;
    SharedUser m_selectedUser;
    QAction *m_addUserAction = nullptr;
    QAction *m_editGroupAction = nullptr;
    QAction *m_delGroupAction = nullptr;
    QAction *m_deviceUsageAction = nullptr;
    QMenu *m_groupMenu = nullptr;
};
