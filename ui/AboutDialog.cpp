#include "ui/AboutDialog.h"

#include "ui_AboutDialog.h"

#include "app/DiagnosticLog.h"
#include "app/InstallLayout.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint)
    , ui(new Ui::AboutDialog)
{
    ui->setupUi(this);
    ui->label_5->setText(ui->label_5->text().arg(InstallLayout::homepage().toHtmlEscaped()));
    showLogFile(DiagnosticLog::fileName());
}

AboutDialog::~AboutDialog() = default;

void AboutDialog::showLogFile(const QString &fileName)
{
    // The data folder's name is garbled in a file manager; the link opens it
    // so the office can pick the file out and send it.
    ui->logLabel->setVisible(!fileName.isEmpty());
    if (fileName.isEmpty())
        return;
    const QString folder = QFileInfo(fileName).absolutePath();
    ui->logLabel->setText(ui->logLabel->text().arg(
        QUrl::fromLocalFile(folder).toString(QUrl::FullyEncoded).toHtmlEscaped()));
    ui->logLabel->setToolTip(ui->logLabel->toolTip() + QStringLiteral(":\n")
                             + QDir::toNativeSeparators(fileName));
}
