// The page layout: a Letter page for a project without layout, text
// elements placed in inches from the lower-left corner, kept in the saved
// project and present as text in the exported PDF.
#include "map/qgis/desktop/qgis_document.h"
#include "map/qgis/desktop/qgis_page_layout.h"
#include "tests/testing/test_maps.h"

#include <qgslayoutexporter.h>
#include <qgslayoutitemlabel.h>
#include <qgslayoutmanager.h>

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace bramlotte;

namespace {

QList<QgsLayoutItemLabel*> labelsOf(QgsPrintLayout& layout) {
    QList<QgsLayoutItemLabel*> labels;
    layout.layoutItems(labels);
    return labels;
}

}  // namespace

TEST(PageLayout, NewLetterPageTextElementsSavedAndExported) {
    QTemporaryDir dir;
    const QString projectPath = dir.filePath("atlas.qgs");
    {
        QgsProject project;
        qgishost::QgisMapDocument document(project);
        EXPECT_FALSE(document.isPageLayoutActive());
        auto page = document.pageLayout();
        EXPECT_DOUBLE_EQ(page->pageWidth(), 8.5);
        EXPECT_DOUBLE_EQ(page->pageHeight(), 11.0);
        document.activatePageLayout();
        EXPECT_TRUE(document.isPageLayoutActive());

        host::TextElement first;
        first.text = "\r\nElm St... A1\r\nMain St... A1, B2";
        first.x = 1;
        first.y = page->pageHeight() - 2.5;
        host::TextElement empty;
        empty.x = 3;
        empty.y = first.y;
        page->addElements({first, empty});
        document.activeView()->partialRefresh(8);
        document.activeView()->refresh();
        // One layout only: asking again gives the same one.
        EXPECT_EQ(project.layoutManager()->printLayouts().size(), 1);
        EXPECT_EQ(labelsOf(qgishost::pageLayoutOf(project)).size(), 2);
        ASSERT_TRUE(project.write(projectPath));
    }

    QgsProject project;
    ASSERT_TRUE(project.read(projectPath));
    QgsPrintLayout& layout = qgishost::pageLayoutOf(project);
    const QList<QgsLayoutItemLabel*> labels = labelsOf(layout);
    ASSERT_EQ(labels.size(), 2);
    QgsLayoutItemLabel* first = labels.at(0)->text().isEmpty() ? labels.at(1) : labels.at(0);
    EXPECT_EQ(first->text(), "\nElm St... A1\nMain St... A1, B2");
    const QgsLayoutPoint at = layout.renderContext().measurementConverter().convert(
        first->positionWithUnits(), QgsUnitTypes::LayoutInches);
    // Upper-left corner at x = 1 in, 2.5 in below the top edge.
    EXPECT_NEAR(at.x(), 1.0, 1e-6);
    EXPECT_NEAR(at.y(), 2.5, 1e-6);
    EXPECT_EQ(first->font().family(), "Arial");
    EXPECT_TRUE(first->font().bold());
    EXPECT_DOUBLE_EQ(first->font().pointSizeF(), 6.0);

    const QString pdf = dir.filePath("atlas.pdf");
    QgsLayoutExporter exporter(&layout);
    QgsLayoutExporter::PdfExportSettings settings;
    settings.textRenderFormat = Qgis::TextRenderFormat::AlwaysText;
    ASSERT_EQ(exporter.exportToPdf(pdf, settings), QgsLayoutExporter::Success);
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    if (pdftotext.isEmpty()) {
        GTEST_SKIP() << "pdftotext is not installed; the PDF's text is not checked";
    }
    QProcess p;
    p.start(pdftotext, {pdf, "-"});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(text.contains("Main St... A1, B2")) << text.toStdString() << pdf.toStdString();
    EXPECT_TRUE(text.contains("Elm St... A1")) << text.toStdString();
}

TEST(PageLayout, TheProjectsFirstLayoutIsThePageLayout) {
    QgsProject project;
    auto a4 = std::make_unique<QgsPrintLayout>(&project);
    a4->initializeDefaults();  // A4 landscape
    a4->setName("Mine");
    project.layoutManager()->addLayout(a4.release());
    qgishost::QgisMapDocument document(project);
    auto page = document.pageLayout();
    EXPECT_NEAR(page->pageWidth(), 297 / 25.4, 1e-9);
    EXPECT_NEAR(page->pageHeight(), 210 / 25.4, 1e-9);
    EXPECT_EQ(project.layoutManager()->printLayouts().size(), 1);
}
