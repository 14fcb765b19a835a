#include "map/qgis/writing/lost_connection.h"

#include <libpq-fe.h>
#include <qgsdatasourceuri.h>
#include <qgsvectordataprovider.h>

#include <memory>

namespace bramlotte::qgishost {
namespace {

// What libpq and QGIS's PostgreSQL provider say when the session is gone.
bool saysConnectionBroken(const QString& errors) {
    for (const char* words :
         {"no result buffer", "server closed the connection", "terminating connection",
          "connection to server", "could not receive data from server",
          "no connection to the server", "could not send data to server", "SSL SYSCALL error"}) {
        if (errors.contains(QLatin1String(words), Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

struct CloseConnection {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};

// A new connection with the layer's own settings: none when the server is
// down or unreachable.
bool serverAnswers(const QString& dataSourceUri) {
    // A server that does not answer at all is given a few seconds.
    const QByteArray info = (QgsDataSourceUri(dataSourceUri).connectionInfo(true) +
                             QStringLiteral(" connect_timeout=5"))
                                .toUtf8();
    const std::unique_ptr<PGconn, CloseConnection> probe(PQconnectdb(info.constData()));
    return probe && PQstatus(probe.get()) == CONNECTION_OK;
}

}  // namespace

bool connectionLost(QgsVectorDataProvider& provider) {
    if (provider.name() != QLatin1String("postgres")) {
        return false;
    }
    return saysConnectionBroken(provider.errors().join(QLatin1Char('\n'))) ||
           !serverAnswers(provider.dataSourceUri());
}

}  // namespace bramlotte::qgishost
