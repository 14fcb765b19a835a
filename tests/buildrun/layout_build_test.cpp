// "Element in map layout" through the real dialog: columns of text elements
// where they belong, empty ones too, and a second build beside the first.
#include "buildrun/build_run.h"
#include "map/qgis/desktop/qgis_page_layout.h"
#include "tests/testing/dialog_fixture.h"

#include <qgslayoutexporter.h>
#include <qgslayoutitemlabel.h>
#include <qgslayoutmodel.h>

#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QRadioButton>
#include <QThread>

using namespace bramlotte;

namespace {

class LayoutBuildTest : public testmaps::DialogFixture {
  protected:
    // A town with `names` distinct street names, all on one page.
    dialog::frmMain& townOf(int names) {
        std::vector<testmaps::Row> rows;
        for (int i = 0; i < names; ++i) {
            rows.push_back({"LINESTRING(1 1,2 2)", {QStringLiteral("Street %1").arg(i)}});
        }
        const QString path = dir_.filePath("layout.gpkg");
        QFile::remove(path);
        testmaps::writeGeoPackage(
            *testmaps::memoryLayer("pages", "Polygon", {"PAGE:string"},
                                   {{"POLYGON((0 0,10 0,10 10,0 10,0 0))", {"A1"}}}),
            path, "pages");
        testmaps::writeGeoPackage(
            *testmaps::memoryLayer("streets", "LineString", {"name:string"}, rows), path,
            "streets");
        dialog::frmMain& d = open({path});
        chooseLayer1("pages", "PAGE");
        chooseLayer2("streets", "name");
        d.optElement->setChecked(true);
        return d;
    }
    // (x, y, lines) of every label, in inches from the page's lower-left corner.
    struct Placed {
        double x, y;
        int lines;
        QString text;
    };
    std::vector<Placed> placed() {
        QgsPrintLayout& layout = qgishost::pageLayoutOf(*project_);
        QList<QgsLayoutItemLabel*> labels;
        layout.layoutItems(labels);
        std::vector<Placed> out;
        for (QgsLayoutItemLabel* l : labels) {
            const QgsLayoutPoint p = layout.renderContext().measurementConverter().convert(
                l->positionWithUnits(), QgsUnitTypes::LayoutInches);
            out.push_back({p.x(), 11.0 - p.y(), l->text().count('\n'), l->text()});
        }
        std::sort(out.begin(), out.end(),
                  [](const Placed& a, const Placed& b) { return a.x < b.x; });
        return out;
    }
};

}  // namespace

TEST_F(LayoutBuildTest, ThreeColumnsOfTenLines) {
    dialog::frmMain& d = townOf(10);
    d.txtNum->setText("3");
    EXPECT_EQ(pressBuildIndex().result, buildrun::BuildOutcome::Result::Built);
    EXPECT_TRUE(document_->isPageLayoutActive());
    const std::vector<Placed> p = placed();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_DOUBLE_EQ(p[0].x, 1);
    EXPECT_DOUBLE_EQ(p[1].x, 3);
    EXPECT_DOUBLE_EQ(p[2].x, 5);
    for (const Placed& e : p) {
        EXPECT_NEAR(e.y, 11.0 - 2.5, 1e-9);  // 2.5 in below the top of a Letter page
    }
    EXPECT_EQ(p[0].lines, 4);
    EXPECT_EQ(p[1].lines, 4);
    EXPECT_EQ(p[2].lines, 2);
    EXPECT_TRUE(p[0].text.startsWith("\nStreet 0... A1\nStreet 1... A1"));
    EXPECT_TRUE(pointerIsDefault());
    EXPECT_FALSE(progress().isVisible());
    EXPECT_TRUE(ui_->messages().empty());
}

TEST_F(LayoutBuildTest, EmptyColumnsAreAddedAndASecondBuildAddsASecondSet) {
    dialog::frmMain& d = townOf(2);
    d.txtNum->setText("4");
    pressBuildIndex();
    std::vector<Placed> p = placed();
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[2].text, "");
    EXPECT_EQ(p[3].text, "");
    pressBuildIndex();
    EXPECT_EQ(placed().size(), 8u);

    dialog::frmMain& none = townOf(0);
    none.txtNum->setText("3");
    pressBuildIndex();
    p = placed();
    ASSERT_EQ(p.size(), 3u);
    for (const Placed& e : p) {
        EXPECT_EQ(e.text, "");
    }
}

// Thousands of columns over ten lines: every column a label of its own,
// placed and stacked in column order, the first ten one line each. (Placed
// one by one, the labels took time growing with the square of their number.)
TEST_F(LayoutBuildTest, ThousandsOfColumnsAllPlaced) {
    constexpr int kColumns = 4000;
    dialog::frmMain& d = townOf(10);
    d.txtNum->setText(QString::number(kColumns));
    ASSERT_EQ(pressBuildIndex().result, buildrun::BuildOutcome::Result::Built);
    const std::vector<Placed> p = placed();
    ASSERT_EQ(p.size(), size_t{kColumns});
    QgsPrintLayout& layout = qgishost::pageLayoutOf(*project_);
    QList<QgsLayoutItemLabel*> labels;
    layout.layoutItems(labels);
    std::sort(labels.begin(), labels.end(), [](QgsLayoutItemLabel* a, QgsLayoutItemLabel* b) {
        return a->pos().x() < b->pos().x();
    });
    for (size_t c = 0; c < p.size(); ++c) {
        ASSERT_DOUBLE_EQ(p[c].x, 2.0 * c + 1.0);
        ASSERT_NEAR(p[c].y, 11.0 - 2.5, 1e-9);
        ASSERT_EQ(p[c].text, c < 10 ? QStringLiteral("\nStreet %1... A1").arg(c) : QString()) << c;
        if (c > 0) {
            ASSERT_GT(labels[static_cast<int>(c)]->zValue(),
                      labels[static_cast<int>(c) - 1]->zValue());
        }
    }
    // The layout's own list of its items, in stacking order, has them all.
    EXPECT_EQ(layout.itemsModel()->zOrderListSize(), kColumns);
    EXPECT_EQ(layout.itemsModel()->zOrderList().first(), labels.last());
    EXPECT_EQ(layout.itemsModel()->rowCount(), kColumns + 1);  // and its header row
    // So many labels are made on a thread of their own: they belong to this
    // one, and their text is drawn.
    for (QgsLayoutItemLabel* label : labels) {
        ASSERT_EQ(label->thread(), QThread::currentThread());
    }
    const QImage first = QgsLayoutExporter(&layout).renderRegionToImage(
        labels.first()->sceneBoundingRect(), {}, 300);
    ASSERT_FALSE(first.isNull());
    int inked = 0;
    for (int y = 0; y < first.height(); ++y) {
        for (int x = 0; x < first.width(); ++x) {
            inked += qGray(first.pixel(x, y)) < 128 && qAlpha(first.pixel(x, y)) > 128;
        }
    }
    EXPECT_GT(inked, 20) << "the first column's text is not drawn";
}
