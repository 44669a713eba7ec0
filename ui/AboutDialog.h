#pragma once

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class AboutDialog;
}

// Program name, version, developer, where the diagnostics log is, and the
// components the program is built with.
class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AboutDialog(QWidget *parent = nullptr);
    ~AboutDialog() override;

private:
    void showLogFile(const QString &fileName);

    QScopedPointer<Ui::AboutDialog> ui;
};
