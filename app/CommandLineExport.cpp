#include "app/CommandLineExport.h"

#include "app/Startup.h"
#include "app/TerminalPrompt.h"
#include "db/DataBase.h"
#include "dose/AnnualBandsReport.h"
#include "dose/AnnualDoseSummary.h"
#include "dose/AnnualDosesReport.h"
#include "dose/DoseCard.h"
#include "dose/DoseCardReport.h"
#include "report/CsvWriter.h"

#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstring>

namespace {

void say(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

QString credential(const char *variable, const QString &prompt, bool hidden)
{
    if (qEnvironmentVariableIsSet(variable))
        return qEnvironmentVariable(variable);
    return TerminalPrompt::readLine(prompt, hidden);
}

} // namespace

bool CommandLineExport::isExportRun(int argc, const char *const argv[])
{
    return argc >= 2 && argv && argv[1] && std::strcmp(argv[1], "--export") == 0;
}

QString CommandLineExport::usage()
{
    return tr("Использование:\n"
              "  orvane --export annual --year ГГГГ [--group КОД] --out ФАЙЛ.csv|ФАЙЛ.pdf\n"
              "  orvane --export bands --year ГГГГ [--group КОД] --out ФАЙЛ.csv|ФАЙЛ.pdf\n"
              "  orvane --export card --user КОД --out ФАЙЛ.csv|ФАЙЛ.pdf\n"
              "Логин и пароль берутся из ORVANE_LOGIN и ORVANE_PASSWORD или "
              "запрашиваются в терминале.");
}

bool CommandLineExport::parse(const QStringList &arguments, Request *request, QString *error)
{
    *request = Request();
    const auto number
        = [error](const QString &name, const QString &text, int min, int max, int *into) {
              bool ok = false;
              *into = text.toInt(&ok);
              if (ok && *into >= min && *into <= max)
                  return true;
              *error = tr("Неверное значение %1: \"%2\"").arg(name, text);
              return false;
          };
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &name = arguments.at(i);
        if (i + 1 >= arguments.size()) {
            *error = tr("Нет значения у %1").arg(name);
            return false;
        }
        const QString value = arguments.at(++i);
        if (name == QLatin1String("--export")) {
            request->kind = value;
        } else if (name == QLatin1String("--year")) {
            if (!number(name, value, 1900, 9999, &request->year))
                return false;
        } else if (name == QLatin1String("--user")) {
            if (!number(name, value, 1, INT_MAX, &request->userId))
                return false;
        } else if (name == QLatin1String("--group")) {
            if (!number(name, value, 1, INT_MAX, &request->groupId))
                return false;
        } else if (name == QLatin1String("--out")) {
            request->out = value;
        } else {
            *error = tr("Неизвестный параметр %1").arg(name);
            return false;
        }
    }
    const QStringList kinds {QStringLiteral("annual"), QStringLiteral("bands"),
                             QStringLiteral("card")};
    if (!kinds.contains(request->kind)) {
        *error = tr("Неизвестный вид выгрузки \"%1\"").arg(request->kind);
        return false;
    }
    const bool card = request->kind == QLatin1String("card");
    if (card ? request->userId == 0 : request->year == 0) {
        *error = card ? tr("Не указан пользователь (--user)") : tr("Не указан год (--year)");
        return false;
    }
    if (card ? request->year != 0 || request->groupId != 0 : request->userId != 0) {
        *error = tr("Лишний параметр для выгрузки \"%1\"").arg(request->kind);
        return false;
    }
    const QString suffix = request->out.section(QLatin1Char('.'), -1).toLower();
    if (request->out.isEmpty()
        || (suffix != QLatin1String("csv") && suffix != QLatin1String("pdf"))) {
        *error = tr("Файл (--out) должен оканчиваться на .csv или .pdf");
        return false;
    }
    request->pdf = suffix == QLatin1String("pdf");
    return true;
}

int CommandLineExport::run(const QStringList &arguments)
{
    Request request;
    QString error;
    if (!parse(arguments.mid(1), &request, &error)) {
        say(error);
        say(usage());
        return BadArguments;
    }
    // The workstation's database, a file or a server.
    const QString problem = Startup::chooseDatabase();
    if (!problem.isEmpty()) {
        say(problem);
        return DatabaseUnusable;
    }
    // An export reads an existing database; it never makes a new one.
    const QString fileName = VDB::DataBase::configuredFileName();
    const bool found = VDB::DataBase::isServerConfigured()
        ? VDB::DataBase::instance()->isOpen() && !VDB::DataBase::instance()->isEmpty()
        : QFile::exists(fileName);
    if (!found) {
        say(tr("База данных не найдена: %1")
                .arg(VDB::DataBase::isServerConfigured() ? VDB::DataBase::instance()->displayName()
                                                         : QDir::toNativeSeparators(fileName)));
        return DatabaseUnusable;
    }
    VDB::DataBase::setLongWorkProgress([](int percent) {
        if (percent < 0)
            say(tr("Подготовка учёта доз по показаниям дозиметров..."));
    });
    const OperationResult opened = VDB::DataBase::openOrCreate(false);
    VDB::DataBase::setLongWorkProgress(nullptr);
    if (opened.code != 0) {
        say(tr("База данных недоступна: %1").arg(opened.message));
        return DatabaseUnusable;
    }
    const QString login = credential("ORVANE_LOGIN", tr("Логин: "), false);
    const QString password = credential("ORVANE_PASSWORD", tr("Пароль: "), true);
    if (!VDB::DataBase::instance()->login(login, password)) {
        say(tr("Некорректное сочетание логина и пароля"));
        return LoginRefused;
    }
    const int code = write(request, &error);
    if (code != Done)
        say(error);
    return code;
}

int CommandLineExport::write(const Request &request, QString *error)
{
    VDB::DataBase *db = VDB::DataBase::instance();
    if (!db->doseRecordAvailable())
        say(tr("Предупреждение: показания дозиметров не учтены, база данных недоступна для "
               "записи"));
    bool written = false;
    if (request.kind == QLatin1String("card")) {
        const SharedUser user = db->user(request.userId);
        if (!user) {
            *error = tr("Нет пользователя с кодом %1").arg(request.userId);
            return NotFound;
        }
        const DoseCard card(user);
        DoseCardReport report(card);
        written = request.pdf ? report.savePdf(request.out, error)
                              : card.csv().write(request.out, error);
    } else {
        SharedGroup group;
        if (request.groupId != 0) {
            group = db->group(request.groupId);
            if (!group) {
                *error = tr("Нет группы с кодом %1").arg(request.groupId);
                return NotFound;
            }
        }
        const AnnualDoseSummary summary(request.year, group);
        const bool bands = request.kind == QLatin1String("bands");
        if (!request.pdf) {
            written = (bands ? summary.bandsCsv() : summary.annualCsv()).write(request.out, error);
        } else if (bands) {
            written = AnnualBandsReport(summary).savePdf(request.out, error);
        } else {
            written = AnnualDosesReport(summary).savePdf(request.out, error);
        }
    }
    if (!written) {
        *error = tr("Не удалось записать файл \"%1\": %2")
                     .arg(QDir::toNativeSeparators(request.out), *error);
        return WriteFailed;
    }
    return Done;
}
