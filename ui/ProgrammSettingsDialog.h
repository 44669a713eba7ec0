#pragma once

#include <QDialog>
#include <QScopedPointer>

class DatabaseSettingsWidget;
class LinkSettingsWidget;
class QColor;
class QPushButton;
class DoseAccountingWidget;

namespace Ui {
class ProgrammSettingsDialog;
}

// Edits the program-wide options. Only "Закрыть" stores them; closing the
// window any other way discards every change.
class ProgrammSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ProgrammSettingsDialog(QWidget *parent = nullptr);
    ~ProgrammSettingsDialog() override;

public slots:
    void accept() override;
    void colorButtonClicked();

private:
    static void setButtonColor(QPushButton *button, const QColor &color);
    static QColor buttonColor(const QPushButton *button);

    QScopedPointer<Ui::ProgrammSettingsDialog> m_ui;
    DoseAccountingWidget *m_doseAccounting = nullptr;
    LinkSettingsWidget *m_linkSettings = nullptr;
    DatabaseSettingsWidget *m_databaseSettings = nullptr;
};
