// The key decoder under the line editor's rules, as the editor sees its
// keys: byte strings fed whole, then a pause.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/terminal.hpp"
#include "platform/posix/keys.hpp"
#include "support/terminal_script.hpp"

namespace ixo {
namespace {

using namespace terminal;

std::vector<int32_t> decode(const std::string& bytes, bool pause_at_end = true) {
  platform::keys::decoder d{platform::keys::LINE_EDITOR_RULES};
  std::vector<int32_t> keys;
  platform::keys::event out[platform::keys::MAX_EVENTS];
  int32_t k;
  for (unsigned char b : bytes) {
    int32_t n = platform::keys::feed(d, b, out);
    for (int32_t i = 0; i < n; ++i)
      if (key_of(out[i], k)) keys.push_back(k);
  }
  if (pause_at_end && platform::keys::timeout(d, out[0]) && key_of(out[0], k)) keys.push_back(k);
  return keys;
}

TEST(key_decoder, each_sequence_gives_its_key) {
  struct {
    const char* bytes;
    std::vector<int32_t> keys;
  } cases[] = {
      {"\x1b[A", {KEY_UP}},       {"\x1b[B", {KEY_DOWN}},     {"\x1b[C", {KEY_RIGHT}},
      {"\x1b[D", {KEY_LEFT}},     {"\x1bOA", {KEY_UP}},       {"\x1bOB", {KEY_DOWN}},
      {"\x1bOC", {KEY_RIGHT}},    {"\x1bOD", {KEY_LEFT}},     {"\x1b[H", {KEY_HOME}},
      {"\x1b[F", {KEY_END}},      {"\x1bOH", {KEY_HOME}},     {"\x1bOF", {KEY_END}},
      {"\x1b[1~", {KEY_HOME}},    {"\x1b[7~", {KEY_HOME}},    {"\x1b[4~", {KEY_END}},
      {"\x1b[8~", {KEY_END}},     {"\x1b[3~", {KEY_DELETE}},
      // Control keys and characters as they are; UTF-8 decoded.
      {"a\x03\x7f\r", {'a', 3, 127, '\r'}},
      {"\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80", {0xE9, 0x4E2D, 0x1F600}},
      // Other complete sequences give nothing and do not swallow what follows.
      {"\x1b[5~x", {'x'}},  {"\x1b[1;5Ay", {'y'}},  {"\x1b[200~z", {'z'}},
      {"\x1bOPq", {'q'}},   {"\x1bxq", {'q'}},      {"\x1b[12;40Rq", {'q'}},
      // Invalid UTF-8 is dropped: stray continuation, overlong form,
      // surrogate, a lead byte cut short by an ASCII byte.
      {"\x80" "a\xc0\xaf" "b\xed\xa0\x80" "c\xe4\xb8" "d", {'a', 'b', 'c', 'd'}},
      // Escape before a control character is the Escape key, then that key;
      // a sequence broken by a control character gives that character.
      {"\x1b\r", {KEY_ESCAPE, '\r'}},  {"\x1b\x1b[A", {KEY_ESCAPE, KEY_UP}},
      {"\x1b[1\x03", {3}},
      // A lone Escape is told by the pause after it; an unfinished
      // sequence is dropped by the pause.
      {"\x1b", {KEY_ESCAPE}},  {"\x1b[", {}},  {"\xe4\xb8", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.bytes), c.keys) << test::visible(c.bytes);
}

TEST(key_decoder, long_parameter_runs_are_ignored_without_growing) {
  std::string bytes = "\x1b[" + std::string(100000, '3') + "~k";
  EXPECT_EQ(decode(bytes), std::vector<int32_t>{'k'});
}

}  // namespace
}  // namespace ixo
