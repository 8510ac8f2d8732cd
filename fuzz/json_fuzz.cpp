// libFuzzer entry for load-json: any bytes decode to a value or return the
// error value of text that is not JSON, or raise one of the errors that bad
// text may raise (bytes that are not UTF-8, nesting deeper than parse
// allows, a lone surrogate escape, a name that cannot be a word); what
// decodes, to-json writes as text that decodes again. Built with
// -DIXO_FUZZ=ON and clang (see README); run as
// build-fuzz/json_fuzz -max_len=4096.
#include "fuzz/boot_library.hpp"

namespace {

const char* const checks = R"(
    fuzz-value: try [
        either error? fuzz-value: load-json to string! fuzz-bytes [true] [
            not error? load-json to-json fuzz-value
        ]
    ]
    either error? fuzz-value [
        to logic! find [invalid-utf8 parse-stack invalid-data invalid-chars] fuzz-value/id
    ] [
        fuzz-value
    ]
)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  ixo::fuzz::run(data, size, checks);
  return 0;
}
