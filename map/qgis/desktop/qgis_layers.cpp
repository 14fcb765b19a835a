#include "map/qgis/desktop/qgis_layers.h"

#include "map/qgis/features/layer_cursor.h"
#include "map/qgis/features/qgis_feature_class.h"
#include "map/qgis/features/street_localities.h"
#include "map/qgis/reading/read_errors.h"

#include <qgslayertreegroup.h>
#include <qgslayertreelayer.h>
#include <qgsproviderregistry.h>
#include <qgsvectorlayer.h>

#include <QFileInfo>

namespace bramlotte::qgishost {
namespace {

[[noreturn]] void gone() {
    throw support::Failure(support::error::kFail,
                           QStringLiteral("The layer is no longer in the map."));
}

// A fields list over the layer's own view of its fields (joins and virtual
// fields included).
class LayerTableView : public host::Fields {
  public:
    explicit LayerTableView(QgsVectorLayer& layer) : layer_(&layer) {}
    int fieldCount() const override { return layer().fields().count(); }
    QString fieldName(int index) const override {
        const QgsFields fields = layer().fields();
        if (index < 0 || index >= fields.count()) {
            throw support::Failure(support::error::kInvalidArgument,
                                   QStringLiteral("Field index %1 is out of range.").arg(index));
        }
        return fields.at(index).name();
    }

  private:
    QgsVectorLayer& layer() const {
        if (!layer_) {
            gone();
        }
        return *layer_;
    }
    QPointer<QgsVectorLayer> layer_;
};

class OtherLayer : public host::Layer {
  public:
    explicit OtherLayer(QString name) : name_(std::move(name)) {}
    QString name() const override { return name_; }

  private:
    QString name_;
};

class QgisGroupLayer : public host::GroupLayer {
  public:
    explicit QgisGroupLayer(QgsLayerTreeGroup& group) : group_(&group) {}
    QString name() const override { return group().name(); }
    int memberCount() const override { return group().children().size(); }
    std::unique_ptr<host::Layer> member(int16_t index) const override {
        const QList<QgsLayerTreeNode*> children = group().children();
        if (index < 0 || index >= children.size()) {
            throw support::Failure(support::error::kInvalidArgument,
                                   QStringLiteral("Group member %1 is out of range.").arg(index));
        }
        return layerForNode(children.at(index));
    }

  private:
    QgsLayerTreeGroup& group() const {
        if (!group_) {
            gone();
        }
        return *group_;
    }
    QPointer<QgsLayerTreeGroup> group_;
};

class QgisFeatureLayer : public host::FeatureLayer {
  public:
    explicit QgisFeatureLayer(QgsVectorLayer& layer) : layer_(&layer) {}
    QString name() const override { return layer().name(); }
    std::shared_ptr<host::FeatureClass> featureClass() override {
        return std::make_shared<QgisFeatureClass>(layer());
    }
    std::unique_ptr<host::Fields> tableView() override {
        return std::make_unique<LayerTableView>(layer());
    }
    std::unique_ptr<host::FeatureCursor> search() override {
        return std::make_unique<LayerCursor>(layer());
    }
    QString coordinateSystem() const override {
        const QgsCoordinateReferenceSystem crs = layer().crs();
        if (!crs.isValid()) {
            return QString();
        }
        const QString id = crs.authid();
        return id.isEmpty() ? crs.description() : id;
    }
    host::StreetLocalities streetLocalities(int keyField, host::FeatureLayer& localities,
                                            int nameField,
                                            const host::LocalityRule& rule) override {
        return findStreetLocalities(layer(), keyField, localities, nameField, rule);
    }
    QString unavailableReason() const override {
        const QgsVectorLayer& l = layer();
        if (l.isValid() && l.dataProvider() && l.dataProvider()->isValid()) {
            return QString();
        }
        // (QgsError::summary() must not be asked of an empty error.)
        QString reason;
        if (!l.error().isEmpty()) {
            reason = l.error().summary().trimmed();
        } else if (l.dataProvider() && !l.dataProvider()->error().isEmpty()) {
            reason = l.dataProvider()->error().summary().trimmed();
        }
        const QString path = QgsProviderRegistry::instance()
                                 ->decodeUri(l.providerType(), l.source())
                                 .value(QStringLiteral("path"))
                                 .toString();
        if (reason.isEmpty() && !path.isEmpty() && !QFileInfo::exists(path)) {
            reason = QStringLiteral("the file %1 does not exist").arg(path);
        }
        if (reason.isEmpty()) {
            // QGIS kept no reason: open the source again and hear what its
            // provider says now.
            ReadErrors said;
            {
                const ReadErrorScope scope(said);
                QgsVectorLayer::LayerOptions options;
                options.loadDefaultStyle = false;
                const QgsVectorLayer probe(l.source(), l.name(), l.providerType(), options);
            }
            reason = said.texts().join(QStringLiteral("; "));
        }
        const QString source =
            QStringLiteral("QGIS cannot open its data source %1").arg(l.publicSource());
        return reason.isEmpty() ? source : source + QStringLiteral(": ") + reason;
    }

  private:
    QgsVectorLayer& layer() const {
        if (!layer_) {
            gone();
        }
        return *layer_;
    }
    QPointer<QgsVectorLayer> layer_;
};

}  // namespace

std::unique_ptr<host::Layer> layerForNode(QgsLayerTreeNode* node) {
    if (!node) {
        gone();
    }
    if (QgsLayerTree::isGroup(node)) {
        return std::make_unique<QgisGroupLayer>(*QgsLayerTree::toGroup(node));
    }
    QgsLayerTreeLayer* layerNode = QgsLayerTree::toLayer(node);
    auto* vector = qobject_cast<QgsVectorLayer*>(layerNode->layer());
    if (vector && vector->isSpatial()) {
        return std::make_unique<QgisFeatureLayer>(*vector);
    }
    return std::make_unique<OtherLayer>(layerNode->layer() ? layerNode->layer()->name()
                                                           : layerNode->name());
}

std::unique_ptr<host::FeatureLayer> featureLayerFor(QgsVectorLayer& layer) {
    return std::make_unique<QgisFeatureLayer>(layer);
}

QgsLayerTree& QgisFocusMap::root() const {
    if (!project_ || !project_->layerTreeRoot()) {
        throw support::Failure(support::error::kFail, QStringLiteral("The map is no longer open."));
    }
    return *project_->layerTreeRoot();
}

int QgisFocusMap::layerCount() const {
    return root().children().size();
}

std::unique_ptr<host::Layer> QgisFocusMap::layer(int index) const {
    const QList<QgsLayerTreeNode*> children = root().children();
    if (index < 0 || index >= children.size()) {
        throw support::Failure(support::error::kInvalidArgument,
                               QStringLiteral("Layer %1 is out of range.").arg(index));
    }
    return layerForNode(children.at(index));
}

void QgisFocusMap::afterBuild() {
    // Redraw the map's layers so written field values show at once.
    for (QgsMapLayer* l : root().layerOrder()) {
        l->triggerRepaint();
    }
}

}  // namespace bramlotte::qgishost
