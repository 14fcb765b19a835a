#include "map/qgis/features/postgis_walk.h"

#include "map/qgis/features/qgis_shape.h"
#include "map/qgis/reading/postgis_read.h"

#include <qgsvectordataprovider.h>
#include <qgsvectorlayer.h>

namespace bramlotte::qgishost {
namespace {

// A row of a batch as a feature; it keeps the batch.
class RowFeature : public host::Feature {
  public:
    RowFeature(std::shared_ptr<const store::StoreRows> rows, size_t row,
               const QgsCoordinateReferenceSystem& crs,
               std::shared_ptr<const std::vector<QVariant::Type>> types)
        : rows_(std::move(rows)), row_(row), crs_(crs), types_(std::move(types)) {}

    long long id() const override { return rows_->ids[row_]; }
    std::shared_ptr<const host::Shape> shape() const override {
        QgsGeometry g;
        if (rows_->hasGeometry(row_)) {
            size_t size = 0;
            const unsigned char* wkb = rows_->wkb(row_, size);
            g.fromWkb(QByteArray(reinterpret_cast<const char*>(wkb), static_cast<int>(size)));
        }
        return std::make_shared<QgisShape>(std::move(g), crs_);
    }
    QVariant value(int index) const override {
        if (index < 0 || static_cast<size_t>(index) >= types_->size()) {
            throw support::Failure(support::error::kInvalidArgument,
                                   QStringLiteral("Field index %1 is out of range.").arg(index));
        }
        // The type QGIS gives the field (the store holds whole numbers wide),
        // its nulls typed too.
        const QVariant::Type type = (*types_)[static_cast<size_t>(index)];
        QVariant v = rows_->columns[static_cast<size_t>(index)].at(row_);
        if (v.isNull()) {
            return QVariant(type);
        }
        if (v.type() != type) {
            v.convert(static_cast<int>(type));
        }
        return v;
    }
    void putValue(int, const QString&) override {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("Features of a layer search cannot be edited."));
    }

  private:
    std::shared_ptr<const store::StoreRows> rows_;
    size_t row_;
    QgsCoordinateReferenceSystem crs_;
    std::shared_ptr<const std::vector<QVariant::Type>> types_;
};

}  // namespace

std::unique_ptr<PostGisWalk> PostGisWalk::open(QgsVectorLayer& layer, RowIds ids) {
    std::optional<store::PostGisQuery> query = postGisQueryOf(layer, {}, ids);  // every field
    if (!query) {
        return nullptr;
    }
    // A page whose shape no search can use is the walk's to name.
    query->keepUnusableShapes = true;
    std::unique_ptr<store::PostGisStream> stream = store::openPostGisStream(*query, layer.name());
    if (!stream) {
        return nullptr;
    }
    // The key's values come as 64-bit numbers, whatever the field says.
    std::vector<QVariant::Type> types;
    const QgsFields fields = layer.dataProvider()->fields();
    for (int i = 0; i < fields.count(); ++i) {
        types.push_back(query->columns[static_cast<size_t>(i)].type == store::PgValue::Key
                            ? QVariant::LongLong
                            : fields.at(i).type());
    }
    return std::unique_ptr<PostGisWalk>(
        new PostGisWalk(std::move(stream), layer.crs(), std::move(types)));
}

PostGisWalk::PostGisWalk(std::unique_ptr<store::PostGisStream> stream,
                         QgsCoordinateReferenceSystem crs, std::vector<QVariant::Type> types)
    : stream_(std::move(stream)),
      crs_(std::move(crs)),
      types_(std::make_shared<const std::vector<QVariant::Type>>(std::move(types))),
      reader_([this] { read(); }) {}

PostGisWalk::~PostGisWalk() {
    bool reading = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        reading = !finished_;
    }
    if (reading) {
        stream_->cancel();  // a walk left part way need not wait for the rows
    }
    emptied_.notify_all();
    reader_.join();
}

void PostGisWalk::read() {
    try {
        for (;;) {
            auto batch = std::make_shared<store::StoreRows>();
            const bool more = stream_->next(*batch, kBatch);
            std::unique_lock<std::mutex> lock(mutex_);
            emptied_.wait(lock, [this] { return stopping_ || batches_.size() < kMostBatches; });
            if (stopping_) {
                break;
            }
            if (more) {
                batches_.push_back(std::move(batch));
            } else {
                break;
            }
            lock.unlock();
            filled_.notify_one();
        }
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        failure_ = std::current_exception();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    filled_.notify_one();
}

std::unique_ptr<host::Feature> PostGisWalk::nextFeature() {
    while (!taking_ || next_ == taking_->count()) {
        std::unique_lock<std::mutex> lock(mutex_);
        filled_.wait(lock, [this] { return finished_ || !batches_.empty(); });
        if (batches_.empty()) {
            if (failure_) {
                std::rethrow_exception(failure_);
            }
            return nullptr;
        }
        taking_ = std::move(batches_.front());
        batches_.pop_front();
        next_ = 0;
        lock.unlock();
        emptied_.notify_one();
    }
    return std::make_unique<RowFeature>(taking_, next_++, crs_, types_);
}

void PostGisWalk::updateFeature(host::Feature&) {
    throw support::Failure(support::error::kFail,
                           QStringLiteral("A layer search cannot store features."));
}

}  // namespace bramlotte::qgishost
