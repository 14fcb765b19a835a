#include "map/qgis/writing/postgis_update.h"

#include "map/qgis/writing/postgres_key.h"

#include <libpq-fe.h>
#include <qgsdatasourceuri.h>
#include <qgsvectordataprovider.h>
#include <qgsvectorlayer.h>

#include <memory>

namespace bramlotte::qgishost {
namespace {

struct PgCloser {
    void operator()(PGconn* connection) const { PQfinish(connection); }
    void operator()(PGresult* result) const { PQclear(result); }
};
using Connection = std::unique_ptr<PGconn, PgCloser>;
using Result = std::unique_ptr<PGresult, PgCloser>;

QString quoted(const QString& identifier) {
    QString q = identifier;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// The server types written here, with the kind of value QGIS gives them.
bool written(const QgsField& field) {
    const QString type = field.typeName();
    const QVariant::Type kind = field.type();
    if (type == QLatin1String("text") || type == QLatin1String("varchar") ||
        type == QLatin1String("bpchar")) {
        return kind == QVariant::String;
    }
    if (type == QLatin1String("int2") || type == QLatin1String("int4")) {
        return kind == QVariant::Int;
    }
    return type == QLatin1String("int8") && kind == QVariant::LongLong;
}

QString said(PGconn* connection, const PGresult* result = nullptr) {
    const char* words = result ? PQresultErrorMessage(result) : nullptr;
    if (!words || !*words) {
        words = PQerrorMessage(connection);
    }
    return QString::fromUtf8(words).trimmed();
}

// Runs `sql`; false with `errors` set unless it gave `wanted`.
bool run(PGconn* connection, const QString& sql, QString& errors,
         ExecStatusType wanted = PGRES_COMMAND_OK, Result* kept = nullptr) {
    Result result(PQexec(connection, sql.toUtf8().constData()));
    if (!result || PQresultStatus(result.get()) != wanted) {
        errors = said(connection, result.get());
        return false;
    }
    if (kept) {
        *kept = std::move(result);
    }
    return true;
}

// A value in COPY's text form: "\N" for NULL, the rest with its backslashes,
// tabs and line ends escaped.
void appendValue(QByteArray& line, const QVariant& value) {
    if (value.isNull()) {
        line.append("\\N");
        return;
    }
    const QByteArray text = value.toString().toUtf8();
    for (const char c : text) {
        switch (c) {
            case '\\':
                line.append("\\\\");
                break;
            case '\t':
                line.append("\\t");
                break;
            case '\n':
                line.append("\\n");
                break;
            case '\r':
                line.append("\\r");
                break;
            default:
                line.append(c);
        }
    }
}

// Sends one field's values into the temporary table, by key.
bool copyValues(PGconn* connection, const QString& into, const std::vector<QgsFeatureId>& ids,
                bool wideKey, const store::StagedColumn& column, QString& errors) {
    if (!run(connection, QStringLiteral("COPY %1 (k, v) FROM STDIN").arg(into), errors,
             PGRES_COPY_IN)) {
        return false;
    }
    QByteArray buffer;
    auto send = [&] {
        if (PQputCopyData(connection, buffer.constData(), buffer.size()) != 1) {
            errors = said(connection);
            return false;
        }
        buffer.clear();
        return true;
    };
    for (size_t row = 0; row < column.written.size(); ++row) {
        if (!column.written[row]) {
            continue;
        }
        // The provider numbers a row by its int4 key read unsigned (-5 is
        // 4294967291); an int8 key's row is named by its value.
        buffer.append(QByteArray::number(
            wideKey ? static_cast<qint64>(ids[row])
                    : static_cast<qint64>(static_cast<qint32>(static_cast<quint32>(ids[row])))));
        buffer.append('\t');
        appendValue(buffer, column.values[row]);
        buffer.append('\n');
        if (buffer.size() >= (1 << 20) && !send()) {
            return false;
        }
    }
    if ((!buffer.isEmpty() && !send()) || PQputCopyEnd(connection, nullptr) != 1) {
        errors = said(connection);
        return false;
    }
    const Result ended(PQgetResult(connection));
    if (!ended || PQresultStatus(ended.get()) != PGRES_COMMAND_OK) {
        errors = said(connection, ended.get());
        return false;
    }
    while (const Result more{PQgetResult(connection)}) {
    }
    return true;
}

}  // namespace

std::optional<PostGisTable> postGisTableOf(QgsVectorLayer& layer, const store::StagedValues& staged,
                                           bool keyValueIds) {
    QgsVectorDataProvider* provider = layer.dataProvider();
    if (!provider || provider->transaction() || layer.isEditable()) {
        return std::nullopt;
    }
    // Rows numbered by an int8 key's map are QGIS's to find.
    const std::optional<PostgresKey> key = postgresKeyOf(*provider);
    if (!key || key->wide != keyValueIds) {
        return std::nullopt;
    }
    const QgsDataSourceUri uri(provider->dataSourceUri());
    const QgsFields own = provider->fields();
    PostGisTable table;
    table.connectionInfo = uri.connectionInfo(true);
    table.relation = uri.schema().isEmpty()
                         ? quoted(uri.table())
                         : quoted(uri.schema()) + QLatin1Char('.') + quoted(uri.table());
    table.keyColumn = quoted(key->name);
    table.wideKey = key->wide;
    for (const auto& [index, column] : staged) {
        if (index < 0 || index >= own.count() || index == key->field || !written(own.at(index))) {
            return std::nullopt;
        }
        table.columns.push_back(quoted(own.at(index).name()));
        table.types.push_back(own.at(index).typeName());
    }
    return table;
}

bool updatePostGis(const PostGisTable& table, const std::vector<QgsFeatureId>& ids,
                   const store::StagedValues& staged, QString& errors) {
    const QByteArray info =
        (table.connectionInfo + QStringLiteral(" client_encoding=UTF8 fallback_application_name="
                                               "bramlotte"))
            .toUtf8();
    const Connection connection(PQconnectdb(info.constData()));
    if (!connection || PQstatus(connection.get()) != CONNECTION_OK) {
        errors = connection ? said(connection.get()) : QStringLiteral("no connection");
        return false;
    }
    PGconn* c = connection.get();
    // Nothing is kept unless the COMMIT is: a failure below ends the
    // session, and the server rolls the transaction back.
    if (!run(c, QStringLiteral("BEGIN"), errors)) {
        return false;
    }
    size_t field = 0;
    for (const auto& staging : staged) {
        const store::StagedColumn& column = staging.second;
        const QString values = QStringLiteral("bramlotte_values_%1").arg(field);
        if (!run(c,
                 QStringLiteral("CREATE TEMPORARY TABLE %1 (k %2, v %3) ON COMMIT DROP")
                     .arg(values, table.wideKey ? QStringLiteral("int8") : QStringLiteral("int4"),
                          table.types[field]),
                 errors) ||
            !copyValues(c, values, ids, table.wideKey, column, errors)) {
            return false;
        }
        Result updated;
        if (!run(c,
                 QStringLiteral("UPDATE %1 AS t SET %2 = w.v FROM %3 AS w WHERE t.%4 = w.k")
                     .arg(table.relation, table.columns[field], values, table.keyColumn),
                 errors, PGRES_COMMAND_OK, &updated)) {
            return false;
        }
        const qulonglong rows = QByteArray(PQcmdTuples(updated.get())).toULongLong();
        if (rows != column.count) {
            errors = QStringLiteral("%1 of the %2 features to be written no longer exist.")
                         .arg(column.count - std::min<qulonglong>(rows, column.count))
                         .arg(column.count);
            return false;
        }
        ++field;
    }
    return run(c, QStringLiteral("COMMIT"), errors);
}

}  // namespace bramlotte::qgishost
