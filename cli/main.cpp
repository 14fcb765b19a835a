// bramlotte: the command-line program.
#include "map/qgis/map_opener.h"
#include "map/qgis/qgis_document.h"
#include "map/qgis/qgis_session.h"

#include <cstdio>

int main(int argc, char** argv) {
    bramlotte::qgishost::QgisSession session(argc, argv, false);
    return 0;
}
