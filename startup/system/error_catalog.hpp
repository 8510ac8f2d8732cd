// The error catalog: ten categories of numbered errors, each id with its
// message written as Ixo source (a string, or a block of strings and
// get-words of the error's arguments). Its one definition is
// boot/catalog.ixo; the build generates from it the positions below
// (error_catalog_ids.hpp: the ERR_ categories and the err:: ids) and the
// table, from which start-up makes the catalog object that the runtime
// raises errors from and the system object holds.
#pragma once
#include <cstdint>

#include "startup/system/error_catalog_ids.hpp"

namespace ixo {

struct catalog_entry {
  const char* id;       // the id word
  const char* message;  // Ixo source of the message
};

struct catalog_category {
  const char* name;
  int32_t code;
  const char* title;
  const catalog_entry* ids;
  int32_t count;
};

extern const catalog_category error_catalog[ERROR_CATEGORY_COUNT];

// The entry of an id.
const catalog_entry& catalog_lookup(error_id id);

}  // namespace ixo
