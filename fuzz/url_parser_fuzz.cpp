// libFuzzer entry for decode-url: any text, as a string and as a url!,
// decodes to none or to an object of parts whose fields have their types
// (scheme a word, port an integer, path and target files, the rest strings
// or none), and encode-url joins those parts again. Bytes that are not
// UTF-8 may raise invalid-utf8 when made a string. Built with -DIXO_FUZZ=ON
// and clang (see README); run as build-fuzz/url_parser_fuzz -max_len=4096.
#include "fuzz/boot_library.hpp"

namespace {

const char* const checks = R"(
    fuzz-value: try [
        fuzz-text: to string! fuzz-bytes
        fuzz-ok: true
        foreach fuzz-source reduce [fuzz-text to url! fuzz-text] [
            fuzz-parts: decode-url fuzz-source
            unless any [
                none? fuzz-parts
                all [
                    word? fuzz-parts/scheme
                    any [none? fuzz-parts/user-info string? fuzz-parts/user-info]
                    any [none? fuzz-parts/host string? fuzz-parts/host]
                    any [none? fuzz-parts/port integer? fuzz-parts/port]
                    any [none? fuzz-parts/path file? fuzz-parts/path]
                    any [none? fuzz-parts/target file? fuzz-parts/target]
                    any [none? fuzz-parts/query string? fuzz-parts/query]
                    any [none? fuzz-parts/fragment string? fuzz-parts/fragment]
                    url? encode-url fuzz-parts
                ]
            ] [fuzz-ok: false]
        ]
        fuzz-ok
    ]
    either error? fuzz-value [fuzz-value/id = 'invalid-utf8] [fuzz-value]
)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  ixo::fuzz::run(data, size, checks);
  return 0;
}
