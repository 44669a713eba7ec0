#pragma once

#include <QString>

// Outcome of a data-store check or user-facing operation.
//  0  success (empty message)
//  2  refused by a check; the message says why and is shown as it comes
//  3  the database refused; the message is the database's error text
//  1, -1 occur only while opening or creating the database
struct OperationResult
{
    int code = 0;
    QString message;

    OperationResult() = default;
    OperationResult(int c, const QString &m = QString())
        : code(c)
        , message(m)
    { }

    bool ok() const { return code == 0; }
};
