// Whether two reads of a layer gave the same rows: ids, shapes byte for
// byte, boxes, values with their types, and shapes left out.
#pragma once

#include "map/store/store_rows.h"

namespace bramlotte::testmaps {

void expectSameRows(const store::StoreRows& got, const store::StoreRows& want);

}  // namespace bramlotte::testmaps
