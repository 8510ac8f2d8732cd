// error!: language errors as objects of ten fields, in this order: code,
// type (category word), id (id word), arg1, arg2, arg3 (message
// arguments), near, where, stack, files. An error cell is an object cell
// with type 34 and class 1, without change-handler record.
//
// The errors object holds one object per category of the error catalog,
// in catalog order: fields `code` and `type` (the title), then one field
// per id whose value is its message. It is made once the runtime's words
// exist (make_catalog); before that, errors are raised without values.
// An error's code is its category's position × 100 + its id's field
// position − 2.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "runtime/memory/cell.hpp"
#include "startup/system/error_catalog.hpp"

namespace ixo::error {

constexpr int32_t FIELD_COUNT = 10;
enum error_field : int32_t {
  FIELD_CODE, FIELD_TYPE, FIELD_ID, FIELD_ARG1, FIELD_ARG2, FIELD_ARG3,
  FIELD_NEAR, FIELD_WHERE, FIELD_STACK, FIELD_FILES,
};
constexpr int32_t CLASS_ERROR = 1;
// Widths of the report's Near line and of each message argument.
constexpr int32_t NEAR_WIDTH = 40;
constexpr int32_t ARGUMENT_WIDTH = 80;

// The errors object and the prototype every error starts as a copy of;
// none until make_catalog runs.
extern cell catalog;
extern cell prototype;

// Builds the errors object from the catalog table and the prototype.
void make_catalog();
// Forgets the objects of an earlier runtime, whose arena is gone.
void drop_catalog();
inline bool catalog_made_q() { return TYPE_OF(&catalog) == TYPE_OBJECT; }

// An error of the catalog id with up to three arguments, into `result`.
cell* create(error_id id, std::initializer_list<cell> args, cell* result);
// The one error kept for an error raised while another is being made (no
// memory or no stack left for it): set to the catalog id, its other fields
// none; it allocates nothing. Each such raise reuses it.
cell* reserve(error_id id);
// Stores the value into `where` when that is still none.
void set_where(cell* error, const cell& value);
int32_t get_type(const cell* error);
int32_t get_id(const cell* error);
// The value cell of a field of an error.
cell* field(const cell* error, int32_t index);
// Writes a message block, its words replaced by the error's fields;
// answers the remaining length.
int32_t form_message(cell* message, cell* buffer, cell* error, int32_t part);

// When the error's `stack` holds a frame position: `stack` becomes a block
// of the words of the calls below it, outermost first, at the depth
// system/state/stack-trace asks for (1 unless a positive integer); `files`
// gets a copy of system/state/source-files when that lists any. The
// frames an unwinding left above the top are read before anything is
// allocated.
void make_stack_trace(cell* error);

// The report: form of error!.
int32_t form(cell* error, cell* buffer, cell* arg, int32_t part);

// Registers error! (parent object!) and drops the catalog of an earlier run.
void init();

}  // namespace ixo::error
