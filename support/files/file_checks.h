// Checks that a file another library wrote is whole. Those writers do not
// always notice a write that failed (a full disk), and a file cut short must
// never take the place of a good one. Each check returns an empty string for
// a whole file, otherwise what is wrong with it.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace bramlotte::support {

// A PDF: its header, and at its very end the trailer whose "startxref"
// points back at a cross-reference section inside the file.
QString pdfDamage(const QString& path);

// A zip archive: its end record, a central directory that ends right where
// the end record begins, and entries whose data inflate to the size and
// checksum the directory gives. `member`, when given, also checks each
// entry's content (named as in the archive); what it returns is the damage.
QString zipDamage(
    const QString& path,
    const std::function<QString(const QString& name, const QByteArray& content)>& member = {});

// An XML document with root element `root`, read to its end without error.
QString xmlDamage(const QString& path, const QString& root);
QString xmlContentDamage(const QByteArray& content, const QString& root);

}  // namespace bramlotte::support
