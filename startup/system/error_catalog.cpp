// Lookups in the error catalog's table, which the build generates from
// boot/catalog.ixo (error_catalog_table.cpp in the build tree).
#include "startup/system/error_catalog.hpp"

namespace ixo {

const catalog_entry& catalog_lookup(error_id id) {
  return error_catalog[id.category].ids[id.index - 2];
}

}  // namespace ixo
