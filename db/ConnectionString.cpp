#include "db/ConnectionString.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QUrl>
#include <QUrlQuery>

namespace VDB {

namespace {

// Seconds that a start waits for a server that does not answer.
const char DefaultConnectTimeout[] = "connect_timeout=10";
// Milliseconds that sent data may stay unacknowledged, and how soon a quiet
// connection is probed, before the connection counts as lost.
const char DeadNetworkTimeout[] = "tcp_user_timeout=10000";
const char KeepAlives[] = "keepalives_idle=10;keepalives_interval=3;keepalives_count=3";
const char SessionSettings[] = "options='-c client_min_messages=warning -c jit=off'";

QString tr(const char *text)
{
    return QCoreApplication::translate("VDB::ConnectionString", text);
}

} // namespace

bool ConnectionString::isServer(const QString &text)
{
    return text.startsWith(QLatin1String("postgresql://"))
        || text.startsWith(QLatin1String("postgres://"));
}

ConnectionString ConnectionString::parse(const QString &text)
{
    ConnectionString result;
    const QUrl url(text, QUrl::StrictMode);
    if (!isServer(text) || !url.isValid()) {
        result.m_error = tr("Неверная строка подключения к серверу");
        return result;
    }
    result.m_user = url.userName();
    result.m_password = url.password();
    result.m_host = url.host();
    result.m_port = url.port();
    result.m_database = url.path().mid(1);
    // Option values go into libpq's connection text: only plain ones pass.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:-]*$"));
    const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    for (const auto &item : items) {
        if (!plain.match(item.first).hasMatch() || !plain.match(item.second).hasMatch()
            || item.first == QLatin1String("password")) {
            result.m_error = tr("Неверный параметр строки подключения: %1").arg(item.first);
            return result;
        }
        if (item.first == QLatin1String("host"))
            result.m_host = item.second;
        else if (item.first == QLatin1String("port"))
            result.m_port = item.second.toInt();
        else
            result.m_options << item.first + QLatin1Char('=') + item.second;
    }
    if (result.m_database.isEmpty() || result.m_database.contains(QLatin1Char('/')))
        result.m_error = tr("В строке подключения не указана база данных");
    return result;
}

QString ConnectionString::displayText() const
{
    QString text = QStringLiteral("postgresql://");
    if (!m_user.isEmpty())
        text += m_user + QLatin1Char('@');
    const bool socket = m_host.startsWith(QLatin1Char('/'));
    if (!socket)
        text += m_host;
    if (m_port > 0)
        text += QLatin1Char(':') + QString::number(m_port);
    text += QLatin1Char('/') + m_database;
    return socket ? text + QStringLiteral("?host=") + m_host : text;
}

QString ConnectionString::settingProblem(const QString &text)
{
    if (!isServer(text))
        return QString();
    const ConnectionString server = parse(text);
    if (!server.isValid())
        return server.error();
    if (server.hasPassword())
        return tr("Пароль сервера базы данных не может храниться в настройках рабочего "
                  "места. Укажите его в файле ~/.pgpass или в переменной PGPASSWORD");
    return QString();
}

void ConnectionString::apply(QSqlDatabase &db) const
{
    db.setDatabaseName(m_database);
    if (!m_host.isEmpty())
        db.setHostName(m_host);
    if (m_port > 0)
        db.setPort(m_port);
    if (!m_user.isEmpty())
        db.setUserName(m_user);
    if (!m_password.isEmpty())
        db.setPassword(m_password);
    QStringList options = m_options;
    const QString given = options.join(QLatin1Char(';'));
    if (!given.contains(QLatin1String("connect_timeout=")))
        options << QString::fromLatin1(DefaultConnectTimeout);
    // The server's notices ("already exists, skipping" at every start) would
    // otherwise reach the terminal; warnings and errors still do. Our
    // statements are short: compiling them just in time costs more than it
    // saves (a quarter of a second for the threshold scan).
    if (!given.contains(QLatin1String("options=")))
        options << QString::fromLatin1(SessionSettings);
    // A network that goes quiet (a cable pulled, not a server stopped) would
    // otherwise hold the window for the system's many minutes of TCP
    // retries, at the next operation or the idle connection check.
    if (!given.contains(QLatin1String("tcp_user_timeout=")))
        options << QString::fromLatin1(DeadNetworkTimeout);
    if (!given.contains(QLatin1String("keepalives")))
        options << QString::fromLatin1(KeepAlives);
    db.setConnectOptions(options.join(QLatin1Char(';')));
}

} // namespace VDB
