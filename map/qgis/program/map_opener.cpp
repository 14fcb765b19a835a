#include "map/qgis/program/map_opener.h"

#include "map/host.h"
#include "map/qgis/program/qgis_session.h"

#include <qgslayertree.h>
#include <qgsprovidermetadata.h>
#include <qgsproviderregistry.h>
#include <qgsprovidersublayerdetails.h>
#include <qgsproviderutils.h>

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

#include <algorithm>

namespace bramlotte::qgishost {
namespace {

[[noreturn]] void cannotOpen(const QString& path, const QString& why) {
    throw support::Failure(support::error::kNotFound,
                           QStringLiteral("Cannot open map %1: %2").arg(path, why));
}

bool isProjectFile(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("qgs") || suffix == QLatin1String("qgz");
}

// GeoPackages and shapefiles yield the same layers from QGIS's own
// providers as from all of them; any other map may need a plugin.
bool readByQgisItself(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("gpkg") || suffix == QLatin1String("shp");
}

// A path into GDAL's virtual file systems (/vsizip/…, /vsicurl/…): QGIS opens
// those, and only GDAL can tell whether they hold anything.
bool isVirtualPath(const QString& path) {
    return path.startsWith(QLatin1String("/vsi"));
}

void addDataset(QgsProject& project, const QString& path) {
    if (!isVirtualPath(path) && !QFileInfo::exists(path)) {
        cannotOpen(path, QStringLiteral("no such file"));
    }
    const QList<QgsProviderSublayerDetails> sublayers =
        QgsProviderRegistry::instance()->querySublayers(path);
    if (sublayers.isEmpty()) {
        cannotOpen(path, QStringLiteral("QGIS reads no layer from it"));
    }
    QgsProviderSublayerDetails::LayerOptions options(project.transformContext());
    options.loadDefaultStyle = false;
    for (const QgsProviderSublayerDetails& sublayer : sublayers) {
        std::unique_ptr<QgsMapLayer> layer(sublayer.toLayer(options));
        if (!layer || !layer->isValid()) {
            cannotOpen(path, QStringLiteral("layer %1 cannot be read").arg(sublayer.name()));
        }
        // A single layer in a zip is named after its file, as QGIS names
        // it ("streets", not GDAL's "streets.shp").
        if (isVirtualPath(path) && sublayers.size() == 1) {
            layer->setName(QgsProviderUtils::suggestLayerNameFromFilePath(path));
        } else if (!sublayer.name().isEmpty()) {
            layer->setName(sublayer.name());
        }
        // Appended to the tree, so the map keeps the datasets' order.
        QgsMapLayer* added = project.addMapLayer(layer.release(), false);
        project.layerTreeRoot()->addLayer(added);
    }
}

}  // namespace

bool projectNeedsAuthentication(const QString& path) {
    QFile file(path);
    if (QFileInfo(path).suffix().toLower() != QLatin1String("qgs") ||
        !file.open(QIODevice::ReadOnly)) {
        return true;
    }
    const QByteArray text = file.readAll();
    if (text.contains("authcfg")) {
        return true;
    }
    auto known = [](const QStringRef& provider) {
        return provider == QLatin1String("postgres") || provider == QLatin1String("ogr") ||
               provider == QLatin1String("gdal") || provider == QLatin1String("memory");
    };
    QXmlStreamReader xml(text);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const QXmlStreamAttributes attributes = xml.attributes();
        if (attributes.value(QLatin1String("embedded")) == QLatin1String("1") ||
            (attributes.hasAttribute(QLatin1String("providerKey")) &&
             !known(attributes.value(QLatin1String("providerKey"))))) {
            return true;
        }
        if (xml.name() == QLatin1String("provider") &&
            xml.readNext() == QXmlStreamReader::Characters && !known(xml.text())) {
            return true;
        }
    }
    return xml.hasError();
}

void openMap(QgsProject& project, const QStringList& paths) {
    if (paths.isEmpty()) {
        cannotOpen(QString(), QStringLiteral("no map given"));
    }
    if (paths.size() == 1 && isProjectFile(paths.first())) {
        if (!QFileInfo::exists(paths.first())) {
            cannotOpen(paths.first(), QStringLiteral("no such file"));
        }
        loadProviderPlugins();  // its layers may come from any provider
        if (projectNeedsAuthentication(paths.first())) {
            startAuthentication();  // and hold stored credentials
        }
        if (!project.read(paths.first())) {
            cannotOpen(paths.first(), project.error());
        }
        return;
    }
    for (const QString& path : paths) {
        if (isProjectFile(path)) {
            cannotOpen(path, QStringLiteral("a project file must be the only map given"));
        }
    }
    // Before the first layer is made: loading plugins drops layers.
    if (!std::all_of(paths.begin(), paths.end(), readByQgisItself)) {
        loadProviderPlugins();
    }
    for (const QString& path : paths) {
        addDataset(project, path);
    }
}

}  // namespace bramlotte::qgishost
