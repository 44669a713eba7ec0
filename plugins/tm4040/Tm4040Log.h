#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

// The plug-in's debug log. A category of its own lets a program or a test
// silence the byte dumps with QT_LOGGING_RULES="orvane.tm4040.debug=false".
Q_DECLARE_LOGGING_CATEGORY(lcTm4040)

// Bytes in hexadecimal separated by spaces, such as "52 58 33".
QString hexBytes(const QByteArray &bytes);
