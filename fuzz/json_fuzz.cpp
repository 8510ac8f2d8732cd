// libFuzzer entry for load-json: any bytes decode to a value or return the
// error value of text that is not JSON, or raise one of the errors that bad
// text may raise (bytes that are not UTF-8, nesting deeper than parse
// allows, a lone surrogate escape); what decodes, to-json writes as text
// that decodes again. The same bytes also make an object's name, each byte
// picking one of the characters a name may hold (every control character,
// every separator the lexer cuts words at, DEL, the byte-order mark,
// letters, digits and punctuation): the object loads with one key spelled
// as the name, and to-json writes it back as it was. And they make a number
// text of their length in digits: its value is the same written with an
// extra zero and exponent -1, or as a fraction scaled back by its exponent,
// so the conversion is exact for any length. And the text read by the
// reader routine behind load-json and by the parse grammar it follows
// (reached through a word of load-json's body, bound to the decoder's
// context) gives the same value, the same failure index or the same error
// raised, unless it nests too deep for the reader, which then leaves it to
// the grammar. Built with -DIXO_FUZZ=ON and
// clang (see README); run as build-fuzz/json_fuzz -max_len=4096.
#include "fuzz/boot_library.hpp"

namespace {

const char* const checks = R"(
    fuzz-value: try [
        either error? fuzz-value: load-json to string! fuzz-bytes [true] [
            not error? load-json to-json fuzz-value
        ]
    ]
    fuzz-text-holds: either error? fuzz-value [
        to logic! find [invalid-utf8 parse-stack invalid-data] fuzz-value/id
    ] [
        fuzz-value
    ]

    fuzz-decoder: first body-of :load-json
    fuzz-outcome: func [code /local e] [
        either error? set/any 'e try code [reduce ['raised e/id e/arg1]] [e]
    ]
    fuzz-by-grammar: func [input] bind [
        fuzz-outcome [
            mark: input
            either parse/case input [collect set _out json-value end] [
                reduce ['ok first _out]
            ] [
                reduce ['fail index? mark]
            ]
        ]
    ] fuzz-decoder
    fuzz-by-reader: func [input /local r] bind [
        fuzz-outcome [
            r: decode-json input
            case [
                block? r [reduce ['ok first r]]
                string? r [reduce ['fail index? r]]
                true ['deep]
            ]
        ]
    ] fuzz-decoder
    fuzz-json-text: attempt [to string! fuzz-bytes]
    fuzz-reader-holds: any [
        none? fuzz-json-text
        'deep = fuzz-reading: fuzz-by-reader copy fuzz-json-text
        (mold/all fuzz-reading) == mold/all fuzz-by-grammar copy fuzz-json-text
    ]

    fuzz-chars: copy []
    repeat fuzz-i 32 [append fuzz-chars fuzz-i - 1]
    append fuzz-chars [
        127 133 160 5760 6158 8192 8193 8194 8195 8196 8197 8198 8199 8200 8201 8202 8203
        8232 8233 8239 8287 12288 65279 97 98 65 49 48 39 45 43 46 58 59 35 64 36 37 47 92
        34 32 44 60 62 91 93 123 125 40 41 94 126 233 128512
    ]
    fuzz-name: copy ""
    foreach fuzz-byte fuzz-bytes [
        append fuzz-name to char! pick fuzz-chars 1 + remainder fuzz-byte length? fuzz-chars
    ]
    fuzz-text: rejoin ["{" to-json fuzz-name ":1}"]
    fuzz-map: load-json fuzz-text
    fuzz-key: first words-of fuzz-map
    fuzz-name-holds: all [
        fuzz-name == either word? fuzz-key [form fuzz-key] [fuzz-key]
        fuzz-text == to-json fuzz-map
        fuzz-text == to-json load-json rejoin ["{" to-json/ascii fuzz-name ":1}"]
    ]

    fuzz-digits: copy "1"
    foreach fuzz-byte fuzz-bytes [append fuzz-digits pick "0123456789" 1 + remainder fuzz-byte 10]
    fuzz-number: mold load-json rejoin [fuzz-digits "e0"]
    fuzz-number-holds: all [
        fuzz-number == mold load-json rejoin [fuzz-digits "0e-1"]
        fuzz-number == mold load-json rejoin ["0." fuzz-digits "e" length? fuzz-digits]
        fuzz-number == mold to float! load-json fuzz-digits
        (rejoin ["-" fuzz-number]) == mold load-json rejoin ["-" fuzz-digits "e0"]
    ]
    all [fuzz-text-holds fuzz-reader-holds fuzz-name-holds fuzz-number-holds]
)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  ixo::fuzz::run(data, size, checks);
  return 0;
}
