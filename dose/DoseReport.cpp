#include "dose/DoseReport.h"

#include "report/QtRPT.h"

#include <QMessageBox>
#include <QWidget>

DoseReport::DoseReport(QObject *parent)
    : QObject(parent)
{ }

bool DoseReport::prepare(QtRPT &report, QString *error)
{
    if (!report.loadReport(templatePath())) {
        if (error)
            *error = tr("Не удалось загрузить шаблон отчёта");
        return false;
    }
    report.recordCount.append(recordCount());
    connect(&report, &QtRPT::setValue, this, &DoseReport::getValue);
    return true;
}

bool DoseReport::savePdf(const QString &fileName, QString *error)
{
    QtRPT report(this);
    if (!prepare(report, error))
        return false;
    if (report.printPdf(fileName, title()))
        return true;
    if (error)
        *error = tr("Не удалось записать файл \"%1\"").arg(fileName);
    return false;
}

void DoseReport::preview(QWidget *parent)
{
    QtRPT report(parent);
    QString error;
    if (!prepare(report, &error)) {
        QMessageBox::critical(parent, tr("Ошибка"), error);
        return;
    }
    report.printExec(false, false, QString(), title());
}

void DoseReport::getValue(const int recNo, const QString paramName, QVariant &paramValue,
                          const int reportPage)
{
    Q_UNUSED(reportPage)
    const QVariant answer = value(recNo, paramName);
    if (answer.isValid())
        paramValue = answer;
}

int DoseReport::monthField(const QString &name)
{
    if (!name.startsWith(QLatin1Char('m')))
        return 0;
    bool ok = false;
    const int month = name.mid(1).toInt(&ok);
    return ok && month >= 1 && month <= 12 ? month : 0;
}
