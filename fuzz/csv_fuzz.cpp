// libFuzzer entry for load-csv: the first byte picks the refinements (one
// bit each: /header, /as-records, /flat, /trim, /with #";", /quote #"'",
// /as-columns), the rest is the text. The text loads, or returns the error
// value of misaligned lines or refinements that do not go together, or
// raises for bytes that are not UTF-8, text that stops parsing before its
// end or a /header text too small; what
// loads, to-csv writes, and without a shaping refinement loading that text
// gives the records back. Built with -DIXO_FUZZ=ON and clang (see README);
// run as build-fuzz/csv_fuzz -max_len=4096.
#include "fuzz/boot_library.hpp"

namespace {

const char* const checks = R"(
    fuzz-value: try [
        fuzz-options: either empty? fuzz-bytes [0] [first fuzz-bytes]
        fuzz-text: to string! next fuzz-bytes
        fuzz-call: copy [load-csv]
        fuzz-args: copy []
        foreach [bit refinement argument] [
            1 header none  2 as-records none  4 flat none  8 trim none
            16 with #";"  32 quote #"'"  64 as-columns none
        ] [
            if bit = (fuzz-options and bit) [
                append fuzz-call refinement
                unless argument = 'none [append fuzz-args argument]
            ]
        ]
        fuzz-delimiter: either 16 = (fuzz-options and 16) [#";"] [#","]
        fuzz-quote: either 32 = (fuzz-options and 32) [#"'"] [#"^""]
        fuzz-value: do append reduce [to path! fuzz-call fuzz-text] fuzz-args
        case [
            error? fuzz-value [
                to logic! any [
                    fuzz-value/arg1 = "Data are not aligned"
                    find/match fuzz-value/arg1 "Cannot use /"
                ]
            ]
            0 = (fuzz-options and 79) [
                fuzz-value = load-csv/with/quote
                    to-csv/with/quote fuzz-value fuzz-delimiter fuzz-quote fuzz-delimiter fuzz-quote
            ]
            true [string? to-csv fuzz-value]
        ]
    ]
    either error? fuzz-value [
        to logic! any [
            fuzz-value/id = 'invalid-utf8
            fuzz-value/id = 'invalid-data
            fuzz-value/arg1 = "CSV data are too small to use /HEADER refinement"
        ]
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
