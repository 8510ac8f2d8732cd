// libFuzzer entry for load-csv: the first byte picks the refinements (one
// bit each: /header, /as-records, /flat, /trim, /with #";", /quote #"'",
// /as-columns), the rest is the text. The text loads, or returns the error
// value of misaligned lines or refinements that do not go together, or
// raises for bytes that are not UTF-8, text that stops parsing before its
// end or a /header text too small; what
// loads, to-csv writes, and without a shaping refinement loading that text
// gives the records back. Without a shaping refinement, load-csv also
// reads what a parse grammar for CSV reads (values, quotes, delimiters and
// line ends as load-csv takes them), kept here as the reference of the
// reader load-csv runs: the same records, the not-aligned error only for
// lines of unequal length, and invalid-data with the text from the same
// line where both stop. Built with -DIXO_FUZZ=ON and clang (see README);
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
    fuzz-trim-value: func [value quote-char] [
        value: trim value
        if all [1 < length? value  quote-char = first value  quote-char = last value] [
            value: copy/part next value back tail value
        ]
        value
    ]
    ; The records read and the text from the line where reading stopped
    ; (none when it read all).
    fuzz-reference: func [
        text delimiter quote-char trim?
        /local output line value value-chars quoted-chars doubled newline quoted-value normal-value
            a-value values a-line stop
    ] [
        doubled: append to string! quote-char quote-char
        output: copy []
        value-chars: complement charset reduce [lf cr delimiter]
        quoted-chars: complement charset quote-char
        newline: [crlf | lf | cr]
        quoted-value: [
            quote-char copy value any [some quoted-chars | 2 quote-char] quote-char
            (if find/case value doubled [replace/all/case value doubled quote-char])
        ]
        normal-value: [copy value any value-chars]
        a-value: [[quoted-value | normal-value] keep (either trim? [fuzz-trim-value value quote-char] [value])]
        values: [a-value any [delimiter a-value]]
        a-line: [collect set line values [newline | end] (append/only output line)]
        stop: text
        reduce [output either parse/case text [any [end break | stop: a-line]] [none] [copy/part stop 40]]
    ]
    fuzz-aligned?: func [records /local length] [
        length: all [not empty? records length? first records]
        foreach record records [if length <> length? record [return false]]
        true
    ]
    fuzz-reference-holds: any [
        0 <> (fuzz-options and 71)
        none? fuzz-text: attempt [to string! next fuzz-bytes]
        (
            fuzz-trim?: 8 = (fuzz-options and 8)
            fuzz-expected: fuzz-reference copy fuzz-text fuzz-delimiter fuzz-quote fuzz-trim?
            fuzz-read: try [
                either fuzz-trim? [
                    load-csv/with/quote/trim copy fuzz-text fuzz-delimiter fuzz-quote
                ] [
                    load-csv/with/quote copy fuzz-text fuzz-delimiter fuzz-quote
                ]
            ]
            case [
                not error? fuzz-read [
                    all [none? fuzz-expected/2  (mold/all fuzz-read) == mold/all fuzz-expected/1]
                ]
                fuzz-read/arg1 = "Data are not aligned" [not fuzz-aligned? fuzz-expected/1]
                true [
                    all [
                        fuzz-read/id = 'invalid-data
                        fuzz-read/arg1 == fuzz-expected/2
                        fuzz-aligned? fuzz-expected/1
                    ]
                ]
            ]
        )
    ]
    fuzz-value-holds: either error? fuzz-value [
        to logic! any [
            fuzz-value/id = 'invalid-utf8
            fuzz-value/id = 'invalid-data
            fuzz-value/arg1 = "CSV data are too small to use /HEADER refinement"
        ]
    ] [
        fuzz-value
    ]
    all [fuzz-value-holds fuzz-reference-holds]
)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  ixo::fuzz::run(data, size, checks);
  return 0;
}
