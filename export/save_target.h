// Where a completed save dialog says to write, and what the save dialogs
// chose last.
#pragma once

#include <QString>

namespace bramlotte::exporting {

// The two file outputs, and their save dialogs.
enum class SaveKind { Table, TextFile };

struct SaveTarget {
    QString folder;     // the folder chosen in the dialog
    QString path;       // the file: the folder, "/", the name and the extension
    QString extension;  // ".csv" or ".txt"
    QString delimiter;  // the table's field delimiter, "," or a tab; empty for text
};

// The targets the save dialogs handed back last, kept while the add-in is
// loaded (the dialogs themselves start afresh at each opening).
struct ExportTargets {
    QString ExportTablePath;
    QString ExportTableExtension;
    QString ExportTableDelimiter;
    QString ExportTextPath;
};

}  // namespace bramlotte::exporting
