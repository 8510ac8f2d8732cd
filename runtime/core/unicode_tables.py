#!/usr/bin/env python3
"""Writes the generated Unicode data of the runtime core:

  char_width_tables.cpp    the zero-width, wide and ambiguous range tables
  case_folding_pairs.cpp   the simple case mapping pairs

Sources:
  - Python's unicodedata, which must carry UCD 14.0.0 (Python 3.11): general
    categories and East Asian widths for the zero-width and wide tables.
  - /usr/share/unicode (Debian's unicode-data): DerivedCoreProperties.txt for
    Default_Ignorable_Code_Point; UnicodeData.txt and DerivedAge.txt for the
    case pairs, restricted to code points assigned by Unicode 11.0.
  - kuhn_ambiguous.txt of the Unicode test corpus: the ambiguous table, the
    East Asian Ambiguous code points of Unicode 5.0 less combining and format
    characters, private-use areas included (Markus Kuhn's wcwidth table).

usage: unicode_tables.py [CORPUS-UNICODE-FOLDER]
"""
import os
import re
import sys
import unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))
UCD = "/usr/share/unicode"
CASE_VERSION = (11, 0)


def ranges(points):
    out = []
    for c in sorted(set(points)):
        if out and out[-1][1] == c - 1:
            out[-1][1] = c
        else:
            out.append([c, c])
    return out


def ucd_ranges(path, wanted):
    """Code points whose property field is `wanted` in a UCD property file."""
    points = []
    for line in open(path, encoding="utf-8"):
        line = line.split("#")[0].strip()
        if not line:
            continue
        span, value = [x.strip() for x in line.split(";")[:2]]
        if value != wanted:
            continue
        lo, _, hi = span.partition("..")
        points.extend(range(int(lo, 16), int(hi or lo, 16) + 1))
    return points


def zero_width():
    # Nonspacing and enclosing marks, the Hangul medial and final jamo, and
    # the format characters that are not default-ignorable (those stay
    # visible as width 1 in terminals), less the interlinear annotation
    # controls FFF9-FFFB, which terminals show as glyphs.
    ignorable = set(ucd_ranges(os.path.join(UCD, "DerivedCoreProperties.txt"),
                               "Default_Ignorable_Code_Point"))
    points = list(range(0x1160, 0x1200))
    for c in range(0x110000):
        cat = unicodedata.category(chr(c))
        if cat in ("Mn", "Me"):
            points.append(c)
        elif cat == "Cf" and c not in ignorable and not 0xFFF9 <= c <= 0xFFFB:
            points.append(c)
    return ranges(points)


def wide():
    # Assigned East Asian Wide and Fullwidth code points, and the whole of
    # the two ideographic planes.
    points = [c for c in range(0x110000)
              if unicodedata.east_asian_width(chr(c)) in ("W", "F")
              and unicodedata.category(chr(c)) != "Cn"]
    points += list(range(0x20000, 0x2FFFE)) + list(range(0x30000, 0x3FFFE))
    return ranges(points)


def ambiguous(corpus):
    text = open(os.path.join(corpus, "kuhn_ambiguous.txt"), encoding="utf-8").read()
    return [[int(a, 16), int(b, 16)]
            for a, b in re.findall(r"\{\s*0x([0-9A-Fa-f]+),\s*0x([0-9A-Fa-f]+)\s*\}", text)]


def case_pairs():
    age = {}
    for span in open(os.path.join(UCD, "DerivedAge.txt"), encoding="utf-8"):
        span = span.split("#")[0].strip()
        if not span:
            continue
        cps, version = [x.strip() for x in span.split(";")]
        lo, _, hi = cps.partition("..")
        v = tuple(int(x) for x in version.split("."))
        for c in range(int(lo, 16), int(hi or lo, 16) + 1):
            age[c] = v
    upper, lower = [], []
    for line in open(os.path.join(UCD, "UnicodeData.txt"), encoding="utf-8"):
        f = line.rstrip("\n").split(";")
        c = int(f[0], 16)
        if age.get(c, (99,)) > CASE_VERSION:
            continue
        if f[12]:
            upper.append((c, int(f[12], 16)))
        if f[13]:
            lower.append((c, int(f[13], 16)))
    return sorted(upper), sorted(lower)


def words_table(name, table):
    lines = [f"const uint32_t {name}[{2 * len(table)}] = {{"]
    for i in range(0, len(table), 4):
        row = table[i:i + 4]
        lines.append("    " + " ".join(f"0x{a:05X}, 0x{b:05X}," for a, b in row))
    lines.append("};")
    return "\n".join(lines)


def pairs_table(name, pairs):
    lines = [f"const case_pair {name}[{len(pairs)}] = {{"]
    for i in range(0, len(pairs), 4):
        row = pairs[i:i + 4]
        lines.append("    " + " ".join(f"{{0x{a:05X}, 0x{b:05X}}}," for a, b in row))
    lines.append("};")
    return "\n".join(lines)


def main():
    corpus = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        HERE, "..", "..", "..", "shared", "corpora", "unicode")
    if unicodedata.unidata_version != "14.0.0":
        sys.exit("unicodedata must carry UCD 14.0.0, not " + unicodedata.unidata_version)

    with open(os.path.join(HERE, "char_width_tables.cpp"), "w") as out:
        out.write("// The range tables of display widths, written by unicode_tables.py: edit\n"
                  "// that script, not this file.\n"
                  "#include \"runtime/core/char_width.hpp\"\n\n"
                  "namespace ixo::unicode {\n\n")
        out.write(words_table("zero_width_table", zero_width()) + "\n\n")
        out.write(words_table("wide_table", wide()) + "\n\n")
        out.write(words_table("ambiguous_table", ambiguous(corpus)) + "\n\n")
        out.write("}  // namespace ixo::unicode\n")

    upper, lower = case_pairs()
    with open(os.path.join(HERE, "case_folding_pairs.cpp"), "w") as out:
        out.write("// The simple case mappings of Unicode 11.0 as {source, target} pairs sorted\n"
                  "// by source, written by unicode_tables.py: edit that script, not this file.\n"
                  "#include \"runtime/core/case_folding.hpp\"\n\n"
                  "namespace ixo::case_folding {\n\n")
        out.write(pairs_table("bmp_lower_to_upper", [p for p in upper if p[0] < 0x10000]) + "\n\n")
        out.write(pairs_table("bmp_upper_to_lower", [p for p in lower if p[0] < 0x10000]) + "\n\n")
        out.write(pairs_table("supplementary_lower_to_upper",
                              [p for p in upper if p[0] >= 0x10000]) + "\n\n")
        out.write(pairs_table("supplementary_upper_to_lower",
                              [p for p in lower if p[0] >= 0x10000]) + "\n\n")
        out.write("}  // namespace ixo::case_folding\n")


if __name__ == "__main__":
    main()
