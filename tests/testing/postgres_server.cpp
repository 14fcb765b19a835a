#include "tests/testing/postgres_server.h"

#include <libpq-fe.h>

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace bramlotte::testdb {
namespace {

// The newest installed server's programs, or empty.
QString serverBin() {
    QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql"))
                               .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QCollator numeric;
    numeric.setNumericMode(true);
    std::sort(versions.begin(), versions.end(), numeric);
    for (auto it = versions.rbegin(); it != versions.rend(); ++it) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(*it);
        if (QFile::exists(bin + QStringLiteral("/pg_ctl"))) {
            return bin;
        }
    }
    return QString();
}

// A port of the loopback address no one listens on just now.
int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(s);
    return port;
}

QString shellQuoted(const QString& text) {
    QString q = text;
    q.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

// Runs `command` with /bin/sh, as the user postgres when we are root.
bool shell(const QString& command, QString& output) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (::geteuid() == 0) {
        process.start(QStringLiteral("su"),
                      {QStringLiteral("postgres"), QStringLiteral("-s"), QStringLiteral("/bin/sh"),
                       QStringLiteral("-c"), command});
    } else {
        process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    }
    const bool finished = process.waitForFinished(120000);
    output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

}  // namespace

std::unique_ptr<PostgresServer> PostgresServer::start(QString& why) {
    std::unique_ptr<PostgresServer> server(new PostgresServer());
    server->bin_ = serverBin();
    if (server->bin_.isEmpty()) {
        why = QStringLiteral("no PostgreSQL server is installed");
        return nullptr;
    }
    const QString version = server->bin_.section(QLatin1Char('/'), -2, -2);  // …/15/bin
    if (!QFile::exists(
            QStringLiteral("/usr/share/postgresql/%1/extension/postgis.control").arg(version))) {
        why = QStringLiteral("PostGIS is not installed for PostgreSQL %1").arg(version);
        return nullptr;
    }
    if (!server->dir_.isValid()) {
        why = QStringLiteral("no temporary folder");
        return nullptr;
    }
    if (::geteuid() == 0) {
        const passwd* postgres = ::getpwnam("postgres");
        if (!postgres) {
            why =
                QStringLiteral("running as root, but there is no user postgres to run the server");
            return nullptr;
        }
        server->user_ = QStringLiteral("postgres");
        // The server's user must reach its folder and own its data.
        QFile::setPermissions(server->dir_.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                       QFile::ExeOwner | QFile::ReadGroup |
                                                       QFile::ExeGroup | QFile::ReadOther |
                                                       QFile::ExeOther);
        if (::chown(QFile::encodeName(server->dir_.path()).constData(), postgres->pw_uid,
                    postgres->pw_gid) != 0) {
            why = QStringLiteral("cannot give the server's folder to postgres");
            return nullptr;
        }
    } else {
        const passwd* me = ::getpwuid(::geteuid());
        server->user_ = me ? QString::fromLocal8Bit(me->pw_name) : QStringLiteral("postgres");
    }
    QString output;
    const QString data = server->dir_.filePath(QStringLiteral("data"));
    if (!shell(QStringLiteral("%1/initdb -D %2 -U %3 -A trust -E UTF8 --locale=C")
                   .arg(server->bin_, shellQuoted(data), shellQuoted(server->user_)),
               output)) {
        why = QStringLiteral("initdb failed: ") + output;
        return nullptr;
    }
    for (int attempt = 0; attempt < 5 && !server->running_; ++attempt) {
        server->port_ = freePort();
        const QString options = QStringLiteral(
                                    "-k %1 -c listen_addresses=127.0.0.1 -p %2 -c fsync=off "
                                    "-c log_statement=all")
                                    .arg(shellQuoted(server->dir_.path()))
                                    .arg(server->port_);
        server->running_ =
            server->pgCtl(QStringLiteral("-l %1 -w -o %2 start")
                              .arg(shellQuoted(server->dir_.filePath(QStringLiteral("log"))),
                                   shellQuoted(options)),
                          output);
    }
    if (!server->running_) {
        why = QStringLiteral("the server did not start: ") + output + server->log();
        return nullptr;
    }
    return server;
}

PostgresServer::~PostgresServer() {
    if (running_) {
        QString output;
        pgCtl(QStringLiteral("-m immediate stop"), output);
    }
}

bool PostgresServer::pgCtl(const QString& arguments, QString& output) const {
    return shell(QStringLiteral("%1/pg_ctl -D %2 %3")
                     .arg(bin_, shellQuoted(dir_.filePath(QStringLiteral("data"))), arguments),
                 output);
}

QString PostgresServer::connectionInfo(const QString& database) const {
    return QStringLiteral("host=127.0.0.1 port=%1 user='%2' dbname='%3'")
        .arg(port_)
        .arg(user_, database);
}

QString PostgresServer::run(const QString& database, const QString& sql) const {
    const QByteArray info = connectionInfo(database).toUtf8();
    PGconn* connection = PQconnectdb(info.constData());
    QString error;
    if (PQstatus(connection) != CONNECTION_OK) {
        error = QString::fromUtf8(PQerrorMessage(connection));
    } else {
        PGresult* result = PQexec(connection, sql.toUtf8().constData());
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            error = QString::fromUtf8(PQresultErrorMessage(result));
        }
        PQclear(result);
    }
    PQfinish(connection);
    return error.isEmpty() ? error : error.trimmed() + QStringLiteral(" (in: ") + sql + ')';
}

bool PostgresServer::createDatabase(const QString& name, QString& error) {
    error = run(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE \"%1\"").arg(name));
    if (error.isEmpty()) {
        error = run(name, QStringLiteral("CREATE EXTENSION postgis"));
    }
    return error.isEmpty();
}

QString PostgresServer::log() const {
    QFile file(dir_.filePath(QStringLiteral("log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace bramlotte::testdb
