// The map document on QGIS: a project, its layer tree and its print layout.
#pragma once

#include "map/host.h"

#include <qgsprintlayout.h>
#include <qgsproject.h>

#include <QPointer>

namespace bramlotte::qgishost {

// What the desktop shows. Without a desktop (headless runs) the document only
// records which view is active.
class DesktopViews {
  public:
    virtual ~DesktopViews() = default;
    virtual void showLayout(QgsPrintLayout& layout) = 0;
    virtual void refreshMap() = 0;
};

class QgisMapDocument : public host::MapDocument {
  public:
    explicit QgisMapDocument(QgsProject& project, DesktopViews* desktop = nullptr)
        : project_(&project), desktop_(desktop) {}

    std::unique_ptr<host::FocusMap> focusMap() override;
    std::unique_ptr<host::PageLayout> pageLayout(const QString& name = QString()) override;
    std::unique_ptr<host::ActiveView> activeView() override;
    void activatePageLayout(const QString& name = QString()) override;
    bool isPageLayoutActive() const override { return layoutActive_; }

    QgsProject& project() const;
    // The print layout of the active view.
    QgsPrintLayout& activeLayout();
    DesktopViews* desktop() const { return desktop_; }

  private:
    QPointer<QgsProject> project_;
    DesktopViews* desktop_;
    bool layoutActive_ = false;
    QString activeLayout_;  // the name it was asked for by
};

// A document whose page layout is a given print layout rather than the
// project's first: the layout outputs place the index on it (the street
// atlas's index section, say), whatever name is asked for. Its map is the
// project's.
class LayoutDocument : public host::MapDocument {
  public:
    LayoutDocument(QgsProject& project, QgsPrintLayout& layout)
        : project_(&project), layout_(&layout) {}

    std::unique_ptr<host::FocusMap> focusMap() override;
    std::unique_ptr<host::PageLayout> pageLayout(const QString& name = QString()) override;
    std::unique_ptr<host::ActiveView> activeView() override;
    void activatePageLayout(const QString& = QString()) override { layoutActive_ = true; }
    bool isPageLayoutActive() const override { return layoutActive_; }

  private:
    QPointer<QgsProject> project_;
    QPointer<QgsPrintLayout> layout_;
    bool layoutActive_ = false;
};

}  // namespace bramlotte::qgishost
