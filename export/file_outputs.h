// The two file branches of the build: ask where to save, then write.
#pragma once

#include "export/export_file.h"
#include "index/index_formatting.h"
#include "index/index_map.h"

#include <optional>

namespace bramlotte::exporting {

// Writes the result list, one line each, to the file the text-file dialog
// chooses; nothing when the dialog is cancelled. Adds the path written.
void TextFileBranch(const index::ResultList& lines, std::optional<ExportFile>& exportFile,
                    QStringList& written);

// Writes one row per index key, in first-met order, to the file the table
// dialog chooses, with the delimiter it chooses.
void TableBranch(const index::IndexMap& map, std::optional<ExportFile>& exportFile,
                 QStringList& written);

}  // namespace bramlotte::exporting
