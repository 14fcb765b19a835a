// The page layout on QGIS: the project's first print layout, in inches from
// the page's lower-left corner.
#pragma once

#include "map/host.h"
#include "support/base/failure.h"
#include "support/files/replacement_file.h"

#include <qgslayoutexporter.h>
#include <qgsprintlayout.h>
#include <qgsproject.h>

#include <QFont>
#include <QPointer>

namespace bramlotte::qgishost {

// The project's print layout named `name`, or for no name its first one; a
// Letter portrait layout (named "Index" for no name) is added where there is
// none such.
QgsPrintLayout& pageLayoutOf(QgsProject& project, const QString& name = QString());

// Exports the project's page layout to a PDF whose text stays text
// (selectable and searchable). The PDF is complete or absent: it replaces
// the file at `path` only once whole and on disk. Throws support::Failure,
// `path` as it was, on failure (a target whose mode bits forbid writing it
// is refused).
void exportPageLayoutPdf(QgsProject& project, const QString& path,
                         const QString& layoutName = QString());

// What every PDF of ours is exported with: text as text.
QgsLayoutExporter::PdfExportSettings searchablePdfSettings();
// Puts the PDF the exporter wrote into `file` in place once it reads back
// whole: the exporter does not notice every failed write.
void commitWholePdf(support::ReplacementFile& file);
// `failure` said as the failure to export `what` to `path`.
support::Failure exportFailure(const support::Failure& failure, const QString& what,
                               const QString& path);

// The box a label needs to show `text` in `font` whole, one line per LF,
// with a little slack so that the layout's drawing never clips it.
QgsLayoutSize labelTextSize(const QFont& font, const QString& text);

class QgisPageLayout : public host::PageLayout {
  public:
    explicit QgisPageLayout(QgsPrintLayout& layout) : layout_(&layout) {}
    double pageWidth() const override;
    double pageHeight() const override;
    void addElements(const std::vector<host::TextElement>& elements) override;
    double pageWidthMillimetres() const override;
    double pageHeightMillimetres() const override;
    int pageCount() const override;
    void addPage() override;
    void addTexts(const std::vector<host::PlacedText>& texts) override;

  private:
    QgsPrintLayout& layout() const;
    QPointer<QgsPrintLayout> layout_;
};

}  // namespace bramlotte::qgishost
