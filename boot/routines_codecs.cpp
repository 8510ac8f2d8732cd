// The routines behind the codec objects of system/codecs: the image
// codecs' encoders (one per file format, each passing its format code)
// and their shared decoder, forwarded to the image service
// (platform/image_files.hpp); the Ixobin
// codec's writer and reader, over runtime/ixobin.
#include "boot/routines.hpp"

#include "platform/image_files.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/ixobin/ixobin.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::boot {

namespace {

// The image encoder's format codes.
constexpr int32_t FORMAT_BMP = 0;
constexpr int32_t FORMAT_PNG = 1;
constexpr int32_t FORMAT_GIF = 2;
constexpr int32_t FORMAT_JPEG = 3;
constexpr int32_t FORMAT_TIFF = 4;

// A header alone takes more than 10 bytes: anything shorter is no payload.
constexpr int32_t IXOBIN_MIN_PAYLOAD = 11;

// The image's bytes; save writes them to the destination itself.
void encode_image(int32_t format) {
  cell encoded{TYPE_UNSET, 0, 0, 0};
  memory::root_guard keep(&encoded);
  image_files::encode(stack::arguments, &encoded, format);
  stack::set_result(encoded);
}

}  // namespace

void encode_bmp() { encode_image(FORMAT_BMP); }
void encode_png() { encode_image(FORMAT_PNG); }
void encode_gif() { encode_image(FORMAT_GIF); }
void encode_jpeg() { encode_image(FORMAT_JPEG); }
void encode_tiff() { encode_image(FORMAT_TIFF); }
void decode_image() {
  cell decoded{TYPE_UNSET, 0, 0, 0};
  memory::root_guard keep(&decoded);
  image_files::decode(stack::arguments, &decoded);
  stack::set_result(decoded);
}

void encode_ixobin() {
  bool compact = TYPE_OF(stack::arguments + 1) == TYPE_LOGIC && stack::arguments[1].data1 != 0;
  cell* encoded = compact ? ixobin::encode_compact(stack::arguments) : ixobin::encode(stack::arguments);
  stack::set_result(*encoded);
}

void decode_ixobin() {
  cell payload = stack::arguments[0];
  memory::root_guard keep_payload(&payload);
  cell bytes = payload;
  memory::root_guard keep_bytes(&bytes);
  uint32_t type = TYPE_OF(&payload);
  if (type == TYPE_FILE || type == TYPE_URL) {
    bytes = *actions::read(&payload, nullptr, nullptr, 1, 0, 0, nullptr);
  } else if (type != TYPE_BINARY) {
    fire(err::script_invalid_data, {payload});
  }
  if (TYPE_OF(&bytes) != TYPE_BINARY || binary::rs_length_q(&bytes) < IXOBIN_MIN_PAYLOAD)
    fire(err::script_invalid_data, {payload});
  cell values{};
  memory::root_guard keep_values(&values);
  block::make_at(&values, 1);
  ixobin::decode(binary::rs_head(&bytes), binary::rs_length_q(&bytes), &values, true);
  stack::set_result(block::rs_length_q(&values) == 1 ? *block::rs_head(&values) : values);
}

void init_codec_routines() {
  routine::register_entry("encode-bmp", encode_bmp);
  routine::register_entry("encode-png", encode_png);
  routine::register_entry("encode-gif", encode_gif);
  routine::register_entry("encode-jpeg", encode_jpeg);
  routine::register_entry("encode-tiff", encode_tiff);
  routine::register_entry("decode-image", decode_image);
  routine::register_entry("encode-ixobin", encode_ixobin);
  routine::register_entry("decode-ixobin", decode_ixobin);
}

}  // namespace ixo::boot
