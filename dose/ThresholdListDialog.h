#pragma once

#include "db/ThresholdData.h"

#include <QDialog>
#include <QScopedPointer>
#include <memory>
#include <vector>

namespace Ui {
class ThresholdListDialog;
}
class QTableWidget;

// Adds, edits and deletes user and group thresholds. Every change stays
// pending in the dialog; "Сохранить и закрыть" hands them all to the data
// store in one saveThresholds() call, Cancel drops them.
class ThresholdListDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ThresholdListDialog(QWidget *parent = nullptr);
    ~ThresholdListDialog() override;

    // The changes accept() would save, in entry order.
    QList<ThresholdChange> pendingChanges() const;

public slots:
    void accept() override;
    void selectionChanged();
    void addThreshold();
    void editThreshold();
    void deleteThreshold();

private:
    // One table row: the stored threshold (none for one added here), its
    // working copy once it was edited, and whether it is to be deleted.
    struct Entry
    {
        SharedThreshold threshold;
        std::unique_ptr<ThresholdData> data;
        bool deleted = false;
    };

    QTableWidget *tableOf(QObject *button) const;
    Entry *entryOfCurrentRow(QTableWidget *table) const;
    void appendRow(QTableWidget *table, Entry *entry);
    void writeRow(QTableWidget *table, int row, const Entry *entry);

    QScopedPointer<Ui::ThresholdListDialog> ui;
    std::vector<std::unique_ptr<Entry>> m_entries;
};
