#include "map/qgis/desktop/qgis_document.h"

#include "map/qgis/desktop/qgis_layers.h"
#include "map/qgis/desktop/qgis_page_layout.h"

namespace bramlotte::qgishost {
namespace {

class QgisActiveView : public host::ActiveView {
  public:
    explicit QgisActiveView(QgisMapDocument& document) : document_(document) {}
    void refresh() override {
        if (document_.isPageLayoutActive()) {
            // A redraw. QgsLayout::refresh() would also re-evaluate every
            // item, where each label looks through all items: time growing
            // with the square of the labels the layout output places.
            document_.activeLayout().update();
        } else if (document_.desktop()) {
            document_.desktop()->refreshMap();
        }
    }
    // The layout redraws changed items itself; the map needs a redraw.
    void partialRefresh(int) override {
        if (!document_.isPageLayoutActive() && document_.desktop()) {
            document_.desktop()->refreshMap();
        }
    }

  private:
    QgisMapDocument& document_;
};

// A layout of no desktop redraws itself as its items change.
class QuietView : public host::ActiveView {
  public:
    void refresh() override {}
    void partialRefresh(int) override {}
};

}  // namespace

QgsProject& QgisMapDocument::project() const {
    if (!project_) {
        throw support::Failure(support::error::kFail, QStringLiteral("The map is no longer open."));
    }
    return *project_;
}

std::unique_ptr<host::FocusMap> QgisMapDocument::focusMap() {
    return std::make_unique<QgisFocusMap>(project());
}

std::unique_ptr<host::PageLayout> QgisMapDocument::pageLayout(const QString& name) {
    return std::make_unique<QgisPageLayout>(pageLayoutOf(project(), name));
}

QgsPrintLayout& QgisMapDocument::activeLayout() {
    return pageLayoutOf(project(), activeLayout_);
}

std::unique_ptr<host::ActiveView> QgisMapDocument::activeView() {
    return std::make_unique<QgisActiveView>(*this);
}

void QgisMapDocument::activatePageLayout(const QString& name) {
    QgsPrintLayout& layout = pageLayoutOf(project(), name);
    layoutActive_ = true;
    activeLayout_ = name;
    if (desktop_) {
        desktop_->showLayout(layout);
    }
}

std::unique_ptr<host::FocusMap> LayoutDocument::focusMap() {
    if (!project_) {
        throw support::Failure(support::error::kFail, QStringLiteral("The map is no longer open."));
    }
    return std::make_unique<QgisFocusMap>(*project_);
}

std::unique_ptr<host::PageLayout> LayoutDocument::pageLayout(const QString&) {
    if (!layout_) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The page layout no longer exists."));
    }
    return std::make_unique<QgisPageLayout>(*layout_);
}

std::unique_ptr<host::ActiveView> LayoutDocument::activeView() {
    return std::make_unique<QuietView>();
}

}  // namespace bramlotte::qgishost
