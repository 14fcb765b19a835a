// A private PostgreSQL server with PostGIS for tests: a fresh cluster in a
// temporary folder, listening on a free port of the loopback address only,
// trusting its local users. Run as root, the server runs as the user
// postgres, which PostgreSQL requires.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace bramlotte::testdb {

class PostgresServer {
  public:
    // A running server, or nullptr with `why` saying what is missing
    // (PostgreSQL, PostGIS) or what failed.
    static std::unique_ptr<PostgresServer> start(QString& why);
    // Stops the server at once and removes its folder.
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    int port() const { return port_; }
    // libpq's connection string for `database`.
    QString connectionInfo(const QString& database) const;
    // A new database with PostGIS; false with `error` set when it fails.
    bool createDatabase(const QString& name, QString& error);
    // Runs `sql` (one or more statements) in `database`; the server's words
    // when it fails, empty when it succeeds.
    QString run(const QString& database, const QString& sql) const;
    // What the server has logged (every statement: log_statement is "all").
    QString log() const;

  private:
    PostgresServer() = default;
    bool pgCtl(const QString& arguments, QString& output) const;

    QTemporaryDir dir_;
    QString bin_;   // the server's programs
    QString user_;  // its superuser, whom the tests connect as
    int port_ = 0;
    bool running_ = false;
};

}  // namespace bramlotte::testdb
