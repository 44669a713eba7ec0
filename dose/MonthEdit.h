#pragma once

#include <QDateEdit>

// A month picker that names the month in the nominative ("декабрь 2026"),
// which a date edit's "MMMM" cannot: it gives the genitive of "1 декабря".
// The arrows, the wheel and the Up/Down keys move by whole months; the text
// itself is not typed.
class MonthEdit : public QDateEdit
{
    Q_OBJECT
public:
    explicit MonthEdit(QWidget *parent = nullptr);

    void stepBy(int steps) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    QString textFromDateTime(const QDateTime &dateTime) const override;
    QDateTime dateTimeFromText(const QString &text) const override;
    QValidator::State validate(QString &input, int &pos) const override;
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent *event) override;
};
