// Test entry: a headless QGIS session for every test, and the scripted
// toolkit installed as the add-in's desktop.
#include "map/qgis/program/qgis_session.h"
#include "support/addin/addin_state.h"
#include "support/desktop/scripted_ui_toolkit.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    bramlotte::qgishost::QgisSession session(argc, argv);
    bramlotte::addInState().ui = std::make_shared<bramlotte::support::ScriptedUiToolkit>();
    const int result = RUN_ALL_TESTS();
    bramlotte::addInState() = bramlotte::AddInState();
    return result;
}
