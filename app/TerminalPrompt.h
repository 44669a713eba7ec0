#pragma once

#include <QString>

// Asks for a line on the terminal: the prompt goes to standard error, the
// answer comes from standard input. A hidden answer is not echoed when the
// input is a terminal.
class TerminalPrompt
{
public:
    // Empty when the input has ended.
    static QString readLine(const QString &prompt, bool hidden = false);
};
