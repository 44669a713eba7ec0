#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

class QtRPT;
class QWidget;

// A printed table of doses from one of our report templates: shown in the
// print preview, or written into a PDF file without a window. Subclasses say
// which template, how many rows and what each field holds.
class DoseReport : public QObject
{
    Q_OBJECT
public:
    explicit DoseReport(QObject *parent = nullptr);

    virtual QString title() const = 0;
    // Writes the report into a PDF file; false with the reason.
    bool savePdf(const QString &fileName, QString *error = nullptr);
    // The print preview; tells the operator when the template is missing.
    void preview(QWidget *parent);

protected:
    virtual QString templatePath() const = 0;
    virtual int recordCount() const = 0;
    // The value of field `name` in data row `record` (or in the bands
    // printed once); an invalid variant leaves the field as it is.
    virtual QVariant value(int record, const QString &name) const = 0;
    // 1 to 12 for the month fields "m1" ... "m12", else 0.
    static int monthField(const QString &name);

private slots:
    void getValue(const int recNo, const QString paramName, QVariant &paramValue,
                  const int reportPage);

private:
    bool prepare(QtRPT &report, QString *error);
};
