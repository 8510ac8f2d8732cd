// The image service over the codecs of platform/images/. The codecs read
// a binary's bytes and write an image's pixels where they lie in the
// arena: they allocate nothing there, so the addresses stay valid while
// they run.
#include "platform/image_files.hpp"

#include <climits>
#include <cstring>

#include "platform/images/raster.hpp"
#include "platform/simple_io.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/image.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::image_files {

namespace {

// The error of a codec's failure in format f. A library that cannot be
// loaded is named by the loader's message.
[[noreturn]] void fail(images::status s, images::format f, const cell* file) {
  if (s == images::status::no_memory) fire(err::internal_no_memory);
  if (s == images::status::no_library) {
    const char* why = images::library_failure(f);
    fire(err::access_no_codec, {*simple_io::load_os_text(why, std::strlen(why), stack::push_slot())});
  }
  if (file) fire(err::access_cannot_open, {*file});
  fire(err::access_bad_media);
}

// The decoded image as an image! in `result`, or the error of its failure
// (`file`, when given, is the source named by cannot-open). A PNG, JPEG or
// GIF whose header gives its sides is decoded straight into the pixels of an
// image made first; other formats decode into a raster of their own,
// copied into the image afterwards. `bin` must be a rooted cell: making
// the image may move the bytes, so they are looked up again after it.
cell* decode_bytes(const cell* bin, cell* result, const cell* file) {
  images::raster pixels;
  auto size = static_cast<size_t>(binary::rs_length_q(bin));
  int64_t width = 0, height = 0;
  if (images::size_of(binary::rs_head(bin), size, width, height) == images::status::ok &&
      images::raster::check(width, height) == images::status::ok) {
    image::make_unfilled_at(result, static_cast<int32_t>(width), static_cast<int32_t>(height));
    pixels.width = static_cast<int32_t>(width);
    pixels.height = static_cast<int32_t>(height);
    pixels.target = image::pixels_of(result);
  }
  images::status s = images::decode(binary::rs_head(bin), size, pixels);
  if (s != images::status::ok) fail(s, images::sniff(binary::rs_head(bin), size), file);
  if (!pixels.target) {
    image::make_unfilled_at(result, pixels.width, pixels.height);
    std::memcpy(image::pixels_of(result), pixels.pixels.data(), pixels.pixels.size() * 4);
  }
  return result;
}

}  // namespace

bool encoded_q(const cell* bin) {
  return images::sniff(binary::rs_head(bin), static_cast<size_t>(binary::rs_length_q(bin))) != images::FORMAT_NONE;
}

cell* decode_binary(const cell* bin, cell* result) {
  if (!encoded_q(bin)) {
    *result = none::none_value;
    return result;
  }
  cell bytes = *bin;
  memory::root_guard keep(&bytes);
  return decode_bytes(&bytes, result, nullptr);
}

cell* decode_file(const cell* source, cell* result) {
  cell file = *source, bytes{TYPE_UNSET, 0, 0, 0};
  memory::root_guard keep_file(&file), keep_bytes(&bytes);
  bytes = *actions::read(&file, nullptr, nullptr, 1, 0, 0, nullptr);
  if (TYPE_OF(&bytes) != TYPE_BINARY) fire(err::access_cannot_open, {file});
  return decode_bytes(&bytes, result, &file);
}

cell* decode(const cell* source, cell* result) {
  return TYPE_OF(source) == TYPE_BINARY ? decode_binary(source, result) : decode_file(source, result);
}

cell* encode(const cell* img, cell* result, int32_t format) {
  int32_t width = image::width_of(img), height = image::height_of(img);
  if (width == 0 || height == 0) fire(err::access_bad_media);
  images::byte_buffer bytes;
  images::status s = images::encode(format, images::view{width, height, image::pixels_of(img)}, bytes);
  if (s != images::status::ok) fail(s, static_cast<images::format>(format), nullptr);
  if (bytes.size() > INT32_MAX) fire(err::internal_no_memory);
  return binary::load_at(bytes.data(), static_cast<int32_t>(bytes.size()), result);
}

cell* push_scaled(const cell* img, int32_t width, int32_t height) {
  cell source = *img;
  memory::root_guard keep(&source);
  width = width < 0 ? 0 : width;
  height = height < 0 ? 0 : height;
  int32_t from_width = image::width_of(&source), from_height = image::height_of(&source);
  // Nothing to copy from: a blank image of the size.
  if (from_width == 0 || from_height == 0) return image::make_at(stack::push_slot(), width, height);
  cell* made = image::make_at(stack::push_slot(), width, height);
  if (width && height) {
    images::scale_nearest(image::pixels_of(&source), from_width, from_height, image::pixels_of(made), width, height);
  }
  return made;
}

}  // namespace ixo::image_files
