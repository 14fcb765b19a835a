// The host roles: the map objects Bramlotte works on, as small interfaces.
//
// Everything outside map/qgis/ and the plugin entry reaches the map through
// these classes only, so the index code can be read and tested without QGIS.
// A failing host call throws support::Failure. Indexes are 0-based.
#pragma once

#include "map/skipped_shapes.h"
#include "support/base/failure.h"
#include "support/desktop/host_frame.h"
#include "support/desktop/progress_indicator.h"

#include <QString>
#include <QVariant>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace bramlotte::host {

// Spatial relationship codes, passed unchanged from the relationship picker.
namespace relation {
constexpr int32_t kIntersects = 1;
constexpr int32_t kEnvelopeIntersects = 2;
constexpr int32_t kTouches = 4;
constexpr int32_t kOverlaps = 5;
constexpr int32_t kCrosses = 6;
constexpr int32_t kContains = 7;  // searched feature lies wholly within the query shape
constexpr int32_t kIsWithin = 8;  // searched feature wholly contains the query shape
}  // namespace relation

// A feature's shape. Opaque: only the host looks inside.
class Shape {
  public:
    virtual ~Shape() = default;
    virtual bool isEmpty() const = 0;
    // What keeps the shape out of every search: a coordinate that is not a
    // finite number (NaN or infinite), a polygon ring that bounds no area.
    // No relationship can be decided for such a shape.
    virtual ShapeFault fault() const = 0;
    bool isUsable() const { return fault() == ShapeFault::None; }
};

class Feature {
  public:
    virtual ~Feature() = default;
    // The feature's identifier, unique within its feature class. Ids are
    // names, not positions: any 64-bit number, gaps of any size.
    virtual long long id() const = 0;
    // A position from 0 up to the feature class's count that no other of its
    // features shares while the class is read as it is; -1 when the host has
    // none. Lets a caller keep something per feature in a plain table.
    virtual long long position() const { return -1; }
    // Shared so a spatial filter can keep it after the feature is gone.
    virtual std::shared_ptr<const Shape> shape() const = 0;
    // Value of the field at the feature-class index; a null QVariant is null.
    virtual QVariant value(int index) const = 0;
    // A non-negative number that only features with the same value of the
    // field share, while the feature class's values stay unchanged; -1 when
    // the host has none at hand. Lets a caller reuse what it made of a value
    // it met before instead of reading and comparing the value again.
    virtual long long valueCode(int index) const {
        (void)index;
        return -1;
    }
    // Converts the text to the field's type; throws when it does not convert.
    virtual void putValue(int index, const QString& text) = 0;
};

class FeatureCursor {
  public:
    virtual ~FeatureCursor() = default;
    // The next feature, or nullptr at the end.
    virtual std::unique_ptr<Feature> nextFeature() = 0;
    // Stores a feature of this cursor (update cursors only).
    virtual void updateFeature(Feature& feature) = 0;
    // The features this cursor delivered without their shapes so far,
    // because the data source could not read them.
    virtual SkippedShapes skippedShapes() const { return {}; }
};

struct SpatialFilter {
    SpatialFilter(std::shared_ptr<const Shape> geometry = nullptr,
                  int32_t spatialRel = relation::kIntersects, QString geometryField = QString(),
                  std::vector<int> subFields = {})
        : geometry(std::move(geometry)),
          spatialRel(spatialRel),
          geometryField(std::move(geometryField)),
          subFields(std::move(subFields)) {}

    std::shared_ptr<const Shape> geometry;
    int32_t spatialRel = relation::kIntersects;
    QString geometryField;
    // The fields whose values the search's features are asked for (indexes
    // in the feature class); empty for every field. A host may leave the
    // others unread: asking a feature for one of them then fails.
    std::vector<int> subFields;
};

// A list of fields: a feature class's or a layer table view's.
class Fields {
  public:
    virtual ~Fields() = default;
    virtual int fieldCount() const = 0;
    virtual QString fieldName(int index) const = 0;
};

// Writes through update cursors of one feature class go into one edit
// transaction. Destroying it without commit() rolls every write back.
class EditTransaction {
  public:
    virtual ~EditTransaction() = default;
    virtual void commit() = 0;
};

// A walk over the features of one cursor with a search of a feature class
// at each (see FeatureClass::searchEach).
class SearchWalk {
  public:
    virtual ~SearchWalk() = default;
    // The walk's next feature, or nullptr at its end.
    virtual std::unique_ptr<Feature> nextFeature() = 0;
    // The searched features that meet `shape`, the shape of the feature
    // delivered last, by the walk's filter: what the feature class's search
    // (or update) with that shape gives.
    virtual std::unique_ptr<FeatureCursor> related(std::shared_ptr<const Shape> shape) = 0;
    // The walk's features delivered without their shapes so far.
    virtual SkippedShapes skippedShapes() const = 0;
};

class FeatureClass : public Fields {
  public:
    // Index of the named field, without regard to case; -1 when absent.
    virtual int findField(const QString& name) const = 0;
    virtual QString shapeFieldName() const = 0;
    virtual long long featureCount() const = 0;
    virtual std::unique_ptr<FeatureCursor> search(const SpatialFilter& filter) = 0;
    virtual std::unique_ptr<FeatureCursor> update(const SpatialFilter& filter) = 0;
    virtual std::unique_ptr<EditTransaction> beginTransaction() = 0;
    // The features the searches so far have passed over because their
    // shapes could not be read or are not usable (see Shape::fault).
    virtual SkippedShapes skippedShapes() const = 0;
    // The features of `walk`, each with a search (an update where `update`)
    // by `filter` whose geometry is that feature's shape. A host may search
    // ahead of the caller, on another thread; the results are those of
    // search and update. By default each search is made when asked for (see
    // searchInTurn).
    virtual std::unique_ptr<SearchWalk> searchEach(std::unique_ptr<FeatureCursor> walk,
                                                   const SpatialFilter& filter, bool update);
};

// `walk` with a search (an update where `update`) of `searched` made for
// each feature when its related features are asked for.
std::unique_ptr<SearchWalk> searchInTurn(FeatureClass& searched,
                                         std::unique_ptr<FeatureCursor> walk,
                                         const SpatialFilter& filter, bool update);

class GroupLayer;
class FeatureLayer;

// How the streets of one key (a value of the indexed field) are told apart
// by the localities they lie in (see FeatureLayer::streetLocalities).
struct LocalityRule {
    // Segments of one key that touch or come this close to each other, in
    // the street layer's map units, are one street, and so are chains of them.
    double joinDistance = 0;
    // Every street in a locality is shown with it, also where all the
    // streets of its key lie in one.
    bool always = false;
};

// Where the streets of a layer lie. A street's locality is the one holding
// the largest part of its length (of its area for polygons, of its points
// for points), on a tie the first in the localities layer's order; a street
// outside every locality has none. A key whose streets lie in localities of
// more than one name is split: each of its features is shown with its
// street's locality ("Rue du Port (Monte-Carlo)"), bare where its street has
// none. Streets of one key in localities of one name share their entry.
class StreetLocalities {
  public:
    // A street's locality (an index into the names, -1 for none) and
    // whether its key is shown with it.
    struct Street {
        int locality = -1;
        bool shown = false;
    };
    StreetLocalities() = default;
    // `ids`: the street layer's feature ids in ascending order, whose
    // positions are the ones its features report; `streetAt`: the street of
    // each (-1 for none).
    StreetLocalities(std::vector<long long> ids, std::vector<int> streetAt,
                     std::vector<Street> streets, std::vector<QVariant> localityNames)
        : ids_(std::move(ids)),
          streetAt_(std::move(streetAt)),
          streets_(std::move(streets)),
          names_(std::move(localityNames)) {}

    // The locality the feature's key is shown with in the index, -1 for
    // none: an index into localityName.
    int shownLocality(const Feature& feature) const {
        const Street* s = streetOf(feature);
        return s && s->shown ? s->locality : -1;
    }
    // The locality of the feature's street, shown or not; -1 for none.
    int streetLocality(const Feature& feature) const {
        const Street* s = streetOf(feature);
        return s ? s->locality : -1;
    }
    // The feature's street, a number its segments share; -1 for a feature
    // without key or usable shape, or not of the layer.
    int street(const Feature& feature) const {
        const long long at = positionOf(feature);
        return at < 0 ? -1 : streetAt_[static_cast<size_t>(at)];
    }
    int streetCount() const { return static_cast<int>(streets_.size()); }
    // A locality's name as its layer holds it (never blank: a locality
    // without a name is none).
    const QVariant& localityName(int locality) const {
        return names_.at(static_cast<size_t>(locality));
    }
    int localityCount() const { return static_cast<int>(names_.size()); }

    // The keys whose streets lie in localities of more than one name, and
    // those a locality holds more than one street of (pieces far apart one
    // entry joins, for a publisher to check), as the layer holds them, in
    // the order of their first features.
    std::vector<QVariant> splitKeys;
    std::vector<QVariant> keysToCheck;
    // Localities left out for shapes that cannot be read or used.
    SkippedShapes skippedLocalities;

  private:
    // The feature's position here: its own when that holds its id.
    long long positionOf(const Feature& feature) const {
        const long long id = feature.id();
        const long long p = feature.position();
        if (p >= 0 && static_cast<size_t>(p) < ids_.size() && ids_[static_cast<size_t>(p)] == id) {
            return p;
        }
        const auto at = std::lower_bound(ids_.begin(), ids_.end(), id);
        return at != ids_.end() && *at == id ? at - ids_.begin() : -1;
    }
    const Street* streetOf(const Feature& feature) const {
        const int s = street(feature);
        return s < 0 ? nullptr : &streets_[static_cast<size_t>(s)];
    }

    std::vector<long long> ids_;
    std::vector<int> streetAt_;
    std::vector<Street> streets_;
    std::vector<QVariant> names_;
};

class Layer {
  public:
    virtual ~Layer() = default;
    virtual QString name() const = 0;
    // nullptr when the layer is not of that kind.
    virtual GroupLayer* asGroupLayer() { return nullptr; }
    virtual FeatureLayer* asFeatureLayer() { return nullptr; }
};

class GroupLayer : public Layer {
  public:
    virtual int memberCount() const = 0;
    virtual std::unique_ptr<Layer> member(int16_t index) const = 0;
    GroupLayer* asGroupLayer() override { return this; }
};

class FeatureLayer : public Layer {
  public:
    virtual std::shared_ptr<FeatureClass> featureClass() = 0;
    virtual std::unique_ptr<Fields> tableView() = 0;
    // Every feature the layer shows (its filter applied), in host order.
    virtual std::unique_ptr<FeatureCursor> search() = 0;
    // Why the layer's data cannot be reached (a file gone, a server down),
    // in the host's words; empty while it can.
    virtual QString unavailableReason() const = 0;
    // The layer's coordinate system, as its authority names it
    // ("EPSG:32632"); empty when the layer has none.
    virtual QString coordinateSystem() const = 0;
    // Tells the streets of this layer's field `keyField` apart by the
    // localities of `localities` (areas), named by its field `nameField`
    // (both indexes in the layers' feature classes); shapes of localities
    // in another coordinate system are taken into this layer's. Every
    // feature the layer shows takes part. Throws support::Failure, also
    // where the host cannot.
    virtual StreetLocalities streetLocalities(int keyField, FeatureLayer& localities, int nameField,
                                              const LocalityRule& rule) {
        (void)keyField, (void)localities, (void)nameField, (void)rule;
        throw support::Failure(
            support::error::kFail,
            QStringLiteral("Layer %1 cannot tell its streets apart by locality.").arg(name()));
    }
    FeatureLayer* asFeatureLayer() override { return this; }
};

class FocusMap {
  public:
    virtual ~FocusMap() = default;
    virtual int layerCount() const = 0;
    virtual std::unique_ptr<Layer> layer(int index) const = 0;
    // Called once after each build; lets the host settle the map.
    virtual void afterBuild() = 0;
};

struct TextSymbol {
    QString fontFace = QStringLiteral("Arial");
    double sizePoints = 6.0;
    bool bold = true;
    int setting = 0;  // 0: left-aligned text anchored at its upper-left corner
};

struct TextElement {
    TextSymbol symbol;
    QString text;
    double x = 0.0;  // page units, from the page's lower-left corner
    double y = 0.0;
};

// One line of text set at its place on a page of the layout, sized to the
// box given: the fitted index is made of these.
struct PlacedText {
    int page = 0;  // from 0
    // Millimetres from the page's upper-left corner.
    double left = 0.0, top = 0.0, width = 0.0, height = 0.0;
    QString text;
    QString fontFace;
    double sizePoints = 6.0;
    bool bold = false;
};

class PageLayout {
  public:
    virtual ~PageLayout() = default;
    virtual double pageWidth() const = 0;   // page units
    virtual double pageHeight() const = 0;  // page units
    // Adds `elements` in order, each drawn over the ones before it. A host
    // may place many elements together far faster than one by one.
    virtual void addElements(const std::vector<TextElement>& elements) = 0;
    // The first page's width and height in millimetres.
    virtual double pageWidthMillimetres() const = 0;
    virtual double pageHeightMillimetres() const = 0;
    virtual int pageCount() const = 0;
    // Adds a page of the first page's size after the last one.
    virtual void addPage() = 0;
    // Adds `texts`, all together for the same reason.
    virtual void addTexts(const std::vector<PlacedText>& texts) = 0;
};

class ActiveView {
  public:
    virtual ~ActiveView() = default;
    virtual void refresh() = 0;
    virtual void partialRefresh(int phase) = 0;
};

class MapDocument {
  public:
    virtual ~MapDocument() = default;
    virtual std::unique_ptr<FocusMap> focusMap() = 0;
    // The page layout named `name`, made when missing; for no name the
    // document's own (its first, or one made when it has none).
    virtual std::unique_ptr<PageLayout> pageLayout(const QString& name = QString()) = 0;
    virtual std::unique_ptr<ActiveView> activeView() = 0;
    // Makes the page layout (as pageLayout finds it) the active view.
    virtual void activatePageLayout(const QString& name = QString()) = 0;
    virtual bool isPageLayoutActive() const = 0;
};

// The status bar and its progress indicator, and the host frame, are windows
// of the desktop the add-in shares with its own forms.
using ProgressIndicator = support::ProgressIndicator;
using StatusBar = support::StatusBar;
using HostFrame = support::HostFrame;

class Application {
  public:
    virtual ~Application() = default;
    virtual std::shared_ptr<MapDocument> document() = 0;
    virtual std::shared_ptr<StatusBar> statusBar() = 0;
};

// The object through which an add-in reaches the running host application.
class ApplicationReference {
  public:
    virtual ~ApplicationReference() = default;
    virtual std::shared_ptr<Application> application() = 0;
};

}  // namespace bramlotte::host
