#include "dose/MonthEdit.h"

#include "report/RussianFormat.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>

MonthEdit::MonthEdit(QWidget *parent)
    : QDateEdit(parent)
{
    setLocale(RussianFormat::locale());
    setDisplayFormat(QStringLiteral("MM.yyyy"));
    setCalendarPopup(false);
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    lineEdit()->setText(textFromDateTime(dateTime()));
}

QString MonthEdit::textFromDateTime(const QDateTime &dateTime) const
{
    return RussianFormat::month(dateTime.date());
}

QDateTime MonthEdit::dateTimeFromText(const QString &text) const
{
    Q_UNUSED(text)
    // The text is ours and never typed: it always stands for the date held.
    return dateTime();
}

QValidator::State MonthEdit::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos)
    return input == textFromDateTime(dateTime()) ? QValidator::Acceptable
                                                 : QValidator::Intermediate;
}

void MonthEdit::stepBy(int steps)
{
    const QDate moved = date().addMonths(steps);
    if (moved >= minimumDate() && moved <= maximumDate())
        setDate(moved);
}

QAbstractSpinBox::StepEnabled MonthEdit::stepEnabled() const
{
    StepEnabled enabled = StepNone;
    if (date().addMonths(-1) >= minimumDate())
        enabled |= StepDownEnabled;
    if (date().addMonths(1) <= maximumDate())
        enabled |= StepUpEnabled;
    return enabled;
}

void MonthEdit::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        QDateEdit::keyPressEvent(event);
        return;
    default:
        // Typing would only garble the month's name.
        event->ignore();
        return;
    }
}

QSize MonthEdit::sizeHint() const
{
    // Wide enough for the longest month name, so the field keeps its width
    // while the operator steps through the year.
    const QFontMetrics metrics(font());
    int text = 0;
    for (int month = 1; month <= 12; ++month)
        text = qMax(text, metrics.horizontalAdvance(RussianFormat::month(QDate(2000, month, 1))));
    QSize hint = QDateEdit::sizeHint();
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    const QSize content(text + 8, hint.height());
    hint.setWidth(style()->sizeFromContents(QStyle::CT_SpinBox, &option, content, this).width()
                  + 4);
    return hint;
}

QSize MonthEdit::minimumSizeHint() const
{
    return sizeHint();
}
