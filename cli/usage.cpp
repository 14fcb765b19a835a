#include "cli/usage.h"

namespace bramlotte::cli {

QString overviewUsage() {
    return QStringLiteral(
        "usage: bramlotte layers MAP...\n"
        "       bramlotte build MAP... --layer1 NAME --field1 NAME --layer2 NAME --field2 NAME\n"
        "               [--relationship NAME] [--output text|table|field|layout|window]\n"
        "               [--column-separator TEXT] [--item-separator TEXT] [--columns TEXT]\n"
        "               [--save-as PATH] [--delimiter comma|tab] [--output-field NAME]\n"
        "               [--yes] [--layout NAME] [--layout-pdf FILE] [--save-project]\n"
        "               [--ranges] [--headings] [--layout-fit [--font-size PT] [--margin MM]]\n"
        "       bramlotte grid MAP... --layer NAME (--cell SIZE | --paper A4|A3|Letter --scale N\n"
        "               [--landscape]) [--overlap MM] [--only-where-data] [--squares CxR]\n"
        "               --save-as FILE.gpkg\n"
        "       bramlotte atlas MAP... --layer2 NAME --field2 NAME (--layer1 NAME --field1 NAME |\n"
        "               --paper A4|A3|Letter --scale N [--landscape] [--overlap MM]\n"
        "               [--squares CxR]) [--columns N] [--ranges] [--headings]\n"
        "               [--file-under-name[=LANG]] [--localities NAME --locality-field NAME]\n"
        "               [--title TEXT] --pdf FILE.pdf [--save-project]\n"
        "       bramlotte demo [DIR]\n"
        "       bramlotte register\n"
        "       bramlotte unregister\n"
        "       bramlotte --help | --version\n"
        "Each command's --help tells more (bramlotte build --help).\n");
}

QString commandUsage(const QString& command) {
    if (command == QLatin1String("build")) {
        return QStringLiteral(
            "usage: bramlotte build MAP... --layer1 NAME --field1 NAME --layer2 NAME --field2 "
            "NAME\n"
            "               [options]\n"
            "Builds the index of the street atlas: for every value of the Layer #2 field\n"
            "(a street name), the values of the Layer #1 field (the pages) of the features\n"
            "in the chosen relationship. MAP is a QGIS project (.qgs, .qgz) or one or more\n"
            "data files whose layers become the map. Messages go to standard error as the\n"
            "index dialog would show them; the files written go to standard output.\n"
            "\n"
            "  --layer1 NAME, --field1 NAME   the pages layer and its field\n"
            "  --layer2 NAME, --field2 NAME   the streets layer and its field\n"
            "  --relationship NAME            INTERSECT (default), \"ENVELOPE INTERSECTS\", "
            "TOUCH,\n"
            "                                 OVERLAP, CROSS, \"WHOLLY CONTAIN\",\n"
            "                                 \"ARE WHOLLY CONTAINED BY\"\n"
            "  --output KIND                  text (default): an alphabetical text file;\n"
            "                                 table: a CSV or tab-separated table;\n"
            "                                 field: the pages written into --output-field;\n"
            "                                 layout: text columns on the print layout;\n"
            "                                 window: the index lines on standard output\n"
            "  --column-separator TEXT        between the name and its pages (default \"...\")\n"
            "  --item-separator TEXT          between the pages (default \",\")\n"
            "  --columns N                    layout columns (default 1)\n"
            "  --save-as DIR/NAME             where the save dialog saves (default: the\n"
            "                                 current folder, Bramlotte_Output)\n"
            "  --delimiter comma|tab          the table's delimiter (default comma)\n"
            "  --output-field NAME            the field of Layer #2 that field output writes\n"
            "  --yes                          answer Yes to the questions (overwriting a file\n"
            "                                 or field values); otherwise they are answered No\n"
            "  --layout NAME                  the print layout the layout output goes to (made\n"
            "                                 when missing; default: the project's first, or\n"
            "                                 a new one named Index)\n"
            "  --layout-pdf FILE              export the print layout as PDF after a build\n"
            "  --save-project                 save the project file after a build\n"
            "\n"
            "For printing:\n"
            "  --ranges                       three or more pages that follow one another as\n"
            "                                 a range: \"A1, A2, A3, A5\" reads \"A1-A3, A5\" "
            "(text\n"
            "                                 file, layout, window; the table keeps each page)\n"
            "  --headings                     a heading line with its letter before the first\n"
            "                                 line of each letter (text file and layout)\n"
            "  --layout-fit                   the layout output flows into --columns columns\n"
            "                                 across the page's printable width, wrapping long\n"
            "                                 lines and adding pages as it needs\n"
            "  --font-size PT                 the fitted layout's font size (default 6)\n"
            "  --margin MM                    the fitted layout's page margin (default 10)\n"
            "\n"
            "Exit status: 0 built, 1 refused by a check or answered No, 2 a failure,\n"
            "64 bad usage.\n");
    }
    if (command == QLatin1String("atlas")) {
        return QStringLiteral(
            "usage: bramlotte atlas MAP... --layer2 NAME --field2 NAME --pdf FILE.pdf\n"
            "               (--layer1 NAME --field1 NAME | --paper A4|A3|Letter --scale N)\n"
            "               [options]\n"
            "Makes the whole street atlas as one PDF: a map page for every page, drawn by\n"
            "QGIS in the project's own styles, with its number, its neighbours' numbers at\n"
            "its edges and its squares along the frame, then the index of the streets on\n"
            "pages of its own, referring to the printed page numbers (or to squares, \"12 B3\").\n"
            "MAP is a QGIS project (or data files, drawn in QGIS's default styles).\n"
            "\n"
            "  --layer2 NAME, --field2 NAME   the streets and their names\n"
            "  --layer1 NAME, --field1 NAME   pages of your own, in the order of their field,\n"
            "                                 whose values are printed as their numbers\n"
            "  --paper A4|A3|Letter           or a page grid over the streets on this paper …\n"
            "  --scale N                      … at 1:N, as `bramlotte grid --only-where-data`\n"
            "                                 makes it, added to the project\n"
            "  --landscape, --overlap MM      the grid's paper turned, and the strip of paper\n"
            "                                 neighbouring pages share\n"
            "  --squares CxR                  each page cut into C columns and R rows of\n"
            "                                 squares; the index refers to them\n"
            "  --columns N                    the index's columns (default 4)\n"
            "  --ranges, --headings, --file-under-name[=LANG], --numeric-order,\n"
            "  --localities NAME --locality-field NAME [--locality-always]\n"
            "  [--join-distance D], --font-size PT\n"
            "                                 the index as `bramlotte build` sets it\n"
            "  --title TEXT                   a title page first\n"
            "  --pdf FILE.pdf                 the atlas, complete or absent\n"
            "  --save-project                 keep the atlas (a QGIS report) and the grid (a\n"
            "                                 GeoPackage beside the project) in the project\n"
            "\n"
            "Exit status: 0 made, 1 refused or cancelled, 2 a failure, 64 bad usage.\n");
    }
    if (command == QLatin1String("grid")) {
        return QStringLiteral(
            "usage: bramlotte grid MAP... --layer NAME (--cell SIZE | --paper A4|A3|Letter\n"
            "               --scale N [--landscape]) [--overlap MM] [--only-where-data]\n"
            "               [--squares CxR] --save-as FILE.gpkg [--yes]\n"
            "Writes a grid of map pages covering the features of layer NAME, in its\n"
            "coordinate system, as the table \"pages\" of a new GeoPackage: rows lettered\n"
            "from the north (A, B, … Z, AA), columns numbered from the west, pages named\n"
            "\"A1\", \"A2\" …, with the fields PAGE, ROW, COL and PAGE_NO (numbered row by\n"
            "row), and NORTH, EAST, SOUTH and WEST: the PAGE_NO of the page next to it on\n"
            "that side, empty (NULL) where there is none. It serves as Layer #1 of a build\n"
            "and as an atlas's coverage layer.\n"
            "\n"
            "  --cell SIZE          square pages SIZE map units wide\n"
            "  --paper, --scale N   pages the size of the paper at 1:N (map units in metres)\n"
            "  --landscape          paper turned sideways\n"
            "  --overlap MM         neighbouring pages share this much of the paper (with\n"
            "                       --cell: this much of the map, in map units)\n"
            "  --only-where-data    only the pages that meet the layer's features\n"
            "  --squares CxR        also the table \"squares\": each page cut into C columns\n"
            "                       lettered from the west (A … Z, AA) and R rows numbered\n"
            "                       from the north, with the fields PAGE, PAGE_NO, SQUARE\n"
            "                       (\"B3\") and REF (\"12 B3\": PAGE_NO, a space, SQUARE),\n"
            "                       page by page; C and R from 1 to 1000. Index against\n"
            "                       it with --layer1 squares --field1 REF\n"
            "  --yes                replace FILE.gpkg if it exists\n");
    }
    if (command == QLatin1String("layers")) {
        return QStringLiteral(
            "usage: bramlotte layers MAP...\n"
            "Lists the map's feature layers as the index dialog's pickers offer them, one\n"
            "a line: the layer's name, then its fields, separated by tabs.\n");
    }
    if (command == QLatin1String("demo")) {
        return QStringLiteral(
            "usage: bramlotte demo [DIR]\n"
            "Makes a demo town in DIR (default bramlotte-demo) and builds its street index\n"
            "there in every output: the text file, the table, the layout as PDF, and a copy\n"
            "of the map with each street's pages written into its \"pages\" field.\n");
    }
    if (command == QLatin1String("register") || command == QLatin1String("unregister")) {
        return QStringLiteral(
            "usage: bramlotte register | bramlotte unregister\n"
            "Makes the current user's QGIS load the plugin built beside this program, or\n"
            "undoes exactly that.\n");
    }
    return overviewUsage();
}

}  // namespace bramlotte::cli
