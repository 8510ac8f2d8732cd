// The error catalog's data.
#include "startup/error_catalog.hpp"

namespace ixo {

namespace {

constexpr catalog_entry throw_ids[] = {
    {"break", "\"no loop to break\""},
    {"return", "\"return or exit not in function\""},
    {"throw", "[\"no catch for throw:\" :arg1]"},
    {"continue", "\"no loop to continue\""},
    {"while-cond", "\"BREAK/CONTINUE cannot be used in WHILE condition block\""},
};

constexpr catalog_entry note_ids[] = {
    {"no-load", "[\"cannot load: \" :arg1]"},
};

constexpr catalog_entry syntax_ids[] = {
    {"invalid", "[:arg1 \"invalid\" :arg2 \"at\" :arg3]"},
    {"missing", "[:arg1 \"missing\" :arg2 \"at\" :arg3]"},
    {"no-header", "[\"script is missing a Ixo header:\" :arg1]"},
    {"no-rs-header", "[\"script is missing a Ixo/System header:\" :arg1]"},
    {"bad-header", "[\"script header is not valid:\" :arg1]"},
    {"malconstruct", "[:arg1 \"invalid construction spec at\" :arg2]"},
    {"bad-char", "[:arg1 \"invalid character at\" :arg2]"},
};

constexpr catalog_entry script_ids[] = {
    {"no-value", "[:arg1 \"has no value\"]"},
    {"need-value", "[:arg1 \"needs a value\"]"},
    {"not-defined", "[:arg1 \"word is not bound to a context\"]"},
    {"not-in-context", "[\"context for\" :arg1 \"is not available\"]"},
    {"no-arg", "[:arg1 \"is missing its\" :arg2 \"argument\"]"},
    {"expect-arg", "[:arg1 \"does not allow\" :arg2 \"for its\" :arg3 \"argument\"]"},
    {"expect-val", "[\"expected\" :arg1 \"not\" :arg2]"},
    {"expect-type", "[:arg1 :arg2 \"field must be of type\" :arg3]"},
    {"cannot-use", "[\"cannot use\" :arg1 \"on\" :arg2 \"value\"]"},
    {"invalid-arg", "[\"invalid argument:\" :arg1]"},
    {"invalid-type", "[:arg1 \"type is not allowed here\"]"},
    {"invalid-type-spec", "[\"invalid type specifier:\" :arg1]"},
    {"invalid-key-type", "[\"invalid key type:\" :arg1]"},
    {"invalid-op", "[\"invalid operator:\" :arg1]"},
    {"no-op-arg", "[:arg1 \"operator is missing an argument\"]"},
    {"bad-op-spec", "\"making an op! requires a function with only 2 arguments and no lit/get-word on left argument\""},
    {"invalid-data", "[\"data not in correct format:\" :arg1]"},
    {"invalid-part", "[\"invalid /part count:\" :arg1]"},
    {"not-same-type", "\"values must be of the same type\""},
    {"not-same-class", "[\"cannot coerce\" :arg1 \"to\" :arg2]"},
    {"not-related", "[\"incompatible argument for\" :arg1 \"of\" :arg2]"},
    {"bad-func-def", "[\"invalid function definition:\" :arg1]"},
    {"bad-func-arg", "[\"function argument\" :arg1 \"is not valid\"]"},
    {"bad-func-extern", "[\"invalid /extern value:\" :arg1]"},
    {"no-refine", "[:arg1 \"has no refinement called\" :arg2]"},
    {"bad-refines", "\"incompatible or invalid refinements\""},
    {"bad-refine", "[\"invalid refinement value:\" :arg1]"},
    {"dup-refine", "[\"duplicate refinement usage in:\" :arg1]"},
    {"word-first", "[\"path must start with a word:\" :arg1]"},
    {"empty-path", "\"cannot evaluate an empty path value\""},
    {"unset-path", "[:arg2 \"is unset in path\" :arg1]"},
    {"invalid-path", "[\"cannot access\" :arg2 \"in path\" :arg1]"},
    {"invalid-path-set", "[\"unsupported type in\" :arg1 \"set-path\"]"},
    {"invalid-path-get", "[\"unsupported type in\" :arg1 \"get-path\"]"},
    {"bad-path-type", "[:arg3 \"returned a\" :arg2 \"value, so\" :arg1 \"could not be accessed\"]"},
    {"bad-path-type2", "[\"path element >\" :arg1 \"< does not apply to\" :arg2 \"type\"]"},
    {"bad-path-set", "[\"cannot set\" :arg2 \"in path\" :arg1]"},
    {"bad-field-set", "[\"cannot set\" :arg1 \"field to\" :arg2 \"datatype\"]"},
    {"dup-vars", "[\"duplicate variable specified:\" :arg1]"},
    {"past-end", "\"out of range or past end\""},
    {"missing-arg", "\"missing a required argument or refinement\""},
    {"out-of-range", "[\"value out of range:\" :arg1]"},
    {"invalid-chars", "\"contains invalid characters\""},
    {"invalid-compare", "[\"cannot compare\" :arg1 \"with\" :arg2]"},
    {"wrong-type", "[\"datatype assertion failed for:\" :arg1]"},
    {"invalid-refine-arg", "[\"invalid\" :arg1 \"argument:\" :arg2]"},
    {"type-limit", "[:arg1 \"overflow/underflow\"]"},
    {"size-limit", "[\"maximum limit reached:\" :arg1]"},
    {"no-return", "\"block did not return a value\""},
    {"throw-usage", "\"invalid use of a thrown error value\""},
    {"locked-word", "[\"protected word - cannot modify:\" :arg1]"},
    {"protected", "\"protected value or series - cannot modify\""},
    {"bad-bad", "[:arg1 \"error:\" :arg2]"},
    {"bad-make-arg", "[\"cannot MAKE\" :arg1 \"from:\" :arg2]"},
    {"bad-to-arg", "[\"cannot MAKE/TO\" :arg1 \"from:\" :arg2]"},
    {"invalid-months", "\"invalid system/locale/month list\""},
    {"invalid-spec-field", "[\"invalid\" :arg1 \"field in spec block\"]"},
    {"missing-spec-field", "[:arg1 \"not found in spec block\"]"},
    {"move-bad", "[\"Cannot MOVE elements from\" :arg1 \"to\" :arg2]"},
    {"too-long", "\"Content too long\""},
    {"invalid-char", "[\"Invalid char! value:\" :arg1]"},
    {"bad-loop-series", "[\"Loop series changed to invalid value:\" :arg1]"},
    {"wrong-denom", "[:arg1 \"not same denomination as\" :arg2]"},
    {"bad-denom", "[\"invalid denomination:\" :arg1]"},
    {"invalid-obj-evt", "[\"invalid object event handler:\" :arg1]"},
    {"parse-rule", "[\"PARSE - invalid rule or usage of rule:\" :arg1]"},
    {"parse-end", "[\"PARSE - unexpected end of rule after:\" :arg1]"},
    {"parse-invalid-ref", "[\"PARSE - get-word refers to a different series!\" :arg1]"},
    {"parse-block", "[\"PARSE - input must be of any-block! type:\" :arg1]"},
    {"parse-unsupported", "\"PARSE - matching by datatype not supported for any-string! input\""},
    {"parse-infinite", "[\"PARSE - infinite recursion at rule: [\" :arg1 \"]\"]"},
    {"parse-stack", "\"PARSE - stack limit reached\""},
    {"parse-keep", "\"PARSE - KEEP is used without a wrapping COLLECT\""},
    {"parse-into-bad", "\"PARSE - COLLECT INTO/AFTER invalid series! argument\""},
    {"parse-into-type", "\"PARSE - COLLECT INTO/AFTER expects a series! of compatible datatype\""},
    {"draw-invalid", "[\"DRAW - invalid input at:\" :arg1]"},
    {"draw-infinite", "[\"DRAW - infinite recursion at:\" :arg1]"},
    {"invalid-data-facet", "[\"invalid DATA facet content\" :arg1]"},
    {"face-type", "[\"VIEW - invalid face type:\" :arg1]"},
    {"not-window", "\"VIEW - expected a window root face\""},
    {"bad-window", "\"VIEW - a window face cannot be nested in another window\""},
    {"not-linked", "\"VIEW - face not linked to a window\""},
    {"not-event-type", "[\"VIEW - not a valid event type\" :arg1]"},
    {"invalid-facet-type", "[\"VIEW - invalid rate value:\" :arg1]"},
    {"vdl-invalid-syntax", "[\"VDL - invalid syntax at:\" :arg1]"},
    {"rtd-invalid-syntax", "[\"RTD - invalid syntax at:\" :arg1]"},
    {"rtd-no-match", "[\"RTD - opening/closing tag not matching for:\" :arg1]"},
    {"react-bad-func", "\"REACT - /LINK option requires a function! as argument\""},
    {"react-not-enough", "\"REACT - reactive functions must accept at least 2 arguments\""},
    {"react-no-match", "\"REACT - objects block length must match reaction function arg count\""},
    {"react-bad-obj", "\"REACT - target can only contain object values\""},
    {"react-gctx", "[\"REACT - word\" :arg1 \"is not a reactor's field\"]"},
    {"lib-invalid-arg", "[\"LIBIXO - invalid argument for\" :arg1]"},
    {"ix-invalid-record", "[\"IXOBIN - invalid record at index\" :arg1]"},
};

constexpr catalog_entry math_ids[] = {
    {"zero-divide", "\"attempt to divide by zero\""},
    {"overflow", "\"math or number overflow\""},
    {"positive", "\"positive number required\""},
};

constexpr catalog_entry access_ids[] = {
    {"cannot-open", "[\"cannot open:\" :arg1]"},
    {"cannot-close", "[\"cannot close:\" :arg1]"},
    {"invalid-utf8", "[\"invalid UTF-8 encoding:\" :arg1]"},
    {"not-open", "[\"port is not open:\" :arg1]"},
    {"no-connect", "[\"cannot connect:\" :arg1 \"reason: timeout\"]"},
    {"no-scheme", "[\"missing port scheme:\" :arg1]"},
    {"unknown-scheme", "[\"scheme is unknown:\" :arg1]"},
    {"invalid-spec", "[\"invalid spec or options:\" :arg1]"},
    {"invalid-port", "[\"invalid port object (invalid field values)\"]"},
    {"invalid-actor", "[\"invalid port actor (must be handle or object)\"]"},
    {"no-port-action", "\"port action not supported\""},
    {"no-create", "[\"cannot create:\" :arg1]"},
    {"no-codec", "[\"cannot decode or encode (no codec):\" :arg1]"},
    {"bad-media", "[\"bad media data (corrupt image, sound, video)\"]"},
    {"invalid-cmd", "[\"invalid port command:\" :arg1]"},
};

constexpr catalog_entry user_ids[] = {
    {"message", "arg1"},
};

constexpr catalog_entry internal_ids[] = {
    {"bad-path", "[\"bad path:\" arg1]"},
    {"not-here", "[arg1 \"not supported on your system\"]"},
    {"no-memory", "\"not enough memory\""},
    {"wrong-mem", "\"failed to release memory\""},
    {"stack-overflow", "\"stack overflow\""},
    {"limit-hit", "[\"internal limit reached:\" :arg1]"},
    {"too-deep", "\"block or paren series is too deep to process\""},
    {"no-cycle", "\"circular reference not allowed\""},
    {"feature-na", "\"feature not available\""},
    {"not-done", "\"reserved for future use (or not yet implemented)\""},
    {"invalid-error", "[\"invalid error object field value:\" :arg1]"},
    {"routines", "\"routines require compilation, from OS shell: `ixo -r <script.ixo>`\""},
    {"ixo-system", "\"contains Ixo/System code which requires compilation\""},
    {"deprecated", "[arg1 \"is DEPRECATED, please use\" arg2 \"instead\"]"},
};

}  // namespace

const catalog_category error_catalog[10] = {
    {"throw", 0, "Throw Error", throw_ids, 5},
    {"note", 100, "Note", note_ids, 1},
    {"syntax", 200, "Syntax Error", syntax_ids, 7},
    {"script", 300, "Script Error", script_ids, 94},
    {"math", 400, "Math Error", math_ids, 3},
    {"access", 500, "Access Error", access_ids, 15},
    {"reserved1", 600, "Reserved1 Error", nullptr, 0},
    {"reserved2", 700, "Reserved2 Error", nullptr, 0},
    {"user", 800, "User Error", user_ids, 1},
    {"internal", 900, "Internal Error", internal_ids, 14},
};

const catalog_entry& catalog_lookup(error_id id) {
  return error_catalog[id.category].ids[id.index - 2];
}

}  // namespace ixo
