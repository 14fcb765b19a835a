// A loaded index dialog over a real map, with the add-in state a click of
// the command would set and the scripted desktop recording what it shows.
#pragma once

#include "dialog/frm_main.h"
#include "map/qgis/desktop/qgis_application.h"
#include "map/qgis/desktop/qgis_document.h"
#include "support/addin/addin_state.h"
#include "support/desktop/scripted_ui_toolkit.h"
#include "support/desktop/terminal_progress.h"
#include "tests/testing/test_maps.h"

#include <gtest/gtest.h>

namespace bramlotte::testmaps {

class DialogFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Opens `paths` as the map and loads a new dialog over it.
    dialog::frmMain& open(const QStringList& paths);
    // Clicks "Build Index" with the mouse, as a person does; the outcome.
    buildrun::BuildOutcome pressBuildIndex();
    // Picks an entry as a person would, running the picker's handler.
    void chooseLayer1(const QString& layer, const QString& field);
    void chooseLayer2(const QString& layer, const QString& field);
    void chooseOutputField(const QString& field);

    support::TerminalProgress& progress();
    // The MODULE line of the last error box, or empty.
    QString lastReportedModule() const;
    bool pointerIsDefault() const { return ui_->pointer() == support::Pointer::Default; }

    QTemporaryDir dir_;
    std::unique_ptr<QgsProject> project_;
    std::shared_ptr<qgishost::QgisMapDocument> document_;
    std::shared_ptr<qgishost::QgisApplication> application_;
    std::shared_ptr<support::ScriptedUiToolkit> ui_;
    std::unique_ptr<dialog::frmMain> dialog_;
    AddInState saved_;
};

// Writes a GeoPackage town of two pages (A1 west, B1 east) and streets
// across them; returns its path. Streets: name, pages (text 40), n (integer),
// Shape (text).
QString writeTwoPageTown(const QString& folder);

}  // namespace bramlotte::testmaps
