// Decoding and encoding a 4000 × 3000 picture as PNG and JPEG: the image
// service (bytes in a binary! to a new image! and back, through
// platform/images/) against the same work done by calling libpng and
// libjpeg-turbo directly, with the same transformations and settings, into
// and out of a plain buffer. The ratio of the two is the glue's overhead.
// Each decode, direct or not, writes a new buffer, as a program decoding
// one image after another does: fresh pages cost their faults either way.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "platform/image_files.hpp"
#include "platform/images/raster.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/image.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/start.hpp"

namespace ixo {
namespace {

constexpr int32_t WIDTH = 4000, HEIGHT = 3000;

// A smooth picture with some noise, as photographs have.
const std::vector<uint32_t>& picture() {
  static std::vector<uint32_t> pixels = [] {
    std::vector<uint32_t> p(size_t{WIDTH} * HEIGHT);
    uint32_t seed = 12345;
    for (int32_t y = 0; y < HEIGHT; ++y) {
      for (int32_t x = 0; x < WIDTH; ++x) {
        seed = seed * 1103515245u + 12345u;
        uint32_t noise = seed >> 28;
        uint32_t r = (x * 255 / WIDTH + noise) & 0xFF, g = (y * 255 / HEIGHT + noise) & 0xFF, b = ((x + y) / 32) & 0xFF;
        p[static_cast<size_t>(y) * WIDTH + x] = 0xFF000000u | r << 16 | g << 8 | b;
      }
    }
    return p;
  }();
  return pixels;
}

const std::vector<uint8_t>& encoded(int32_t format) {
  static std::vector<uint8_t> bytes[5];
  if (bytes[format].empty()) {
    images::byte_buffer file;
    images::encode(format, images::view{WIDTH, HEIGHT, picture().data()}, file);
    bytes[format].assign(file.data(), file.data() + file.size());
  }
  return bytes[format];
}

void start() {
  static bool started = false;
  if (started) return;
  runtime::init();
  started = true;
}

// ---- Direct library calls -------------------------------------------------------

struct png_input {
  const uint8_t* data;
  size_t size, position;
};

void png_read(png_structp png, png_bytep to, png_size_t count) {
  auto* in = static_cast<png_input*>(png_get_io_ptr(png));
  std::memcpy(to, in->data + in->position, count);
  in->position += count;
}

void direct_png_decode(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = encoded(images::FORMAT_PNG);
  std::vector<png_bytep> rows(HEIGHT);
  for (auto _ : state) {
    std::unique_ptr<uint32_t[]> out(new uint32_t[size_t{WIDTH} * HEIGHT]);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_input in{bytes.data(), bytes.size(), 0};
    png_set_read_fn(png, &in, png_read);
    png_read_info(png, info);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);
    png_read_update_info(png, info);
    for (int32_t y = 0; y < HEIGHT; ++y) rows[y] = reinterpret_cast<png_bytep>(&out[static_cast<size_t>(y) * WIDTH]);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(out.get());
  }
}

void png_write(png_structp png, png_bytep from, png_size_t count) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), from, from + count);
}
void png_flush(png_structp) {}

void direct_png_encode(benchmark::State& state) {
  std::vector<png_bytep> rows(HEIGHT);
  for (int32_t y = 0; y < HEIGHT; ++y) {
    rows[y] = reinterpret_cast<png_bytep>(const_cast<uint32_t*>(&picture()[static_cast<size_t>(y) * WIDTH]));
  }
  for (auto _ : state) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, png_write, png_flush);
    png_set_IHDR(png, info, WIDTH, HEIGHT, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    benchmark::DoNotOptimize(out.data());
  }
}

void direct_jpeg_decode(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = encoded(images::FORMAT_JPEG);
  for (auto _ : state) {
    std::unique_ptr<uint32_t[]> out(new uint32_t[size_t{WIDTH} * HEIGHT]);
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), bytes.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
      JSAMPROW line = reinterpret_cast<JSAMPROW>(&out[size_t{info.output_scanline} * WIDTH]);
      jpeg_read_scanlines(&info, &line, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    benchmark::DoNotOptimize(out.get());
  }
}

void direct_jpeg_encode(benchmark::State& state) {
  for (auto _ : state) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* bytes = nullptr;
    unsigned long count = 0;
    jpeg_mem_dest(&info, &bytes, &count);
    info.image_width = WIDTH;
    info.image_height = HEIGHT;
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRA;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
      auto line = reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(&picture()[size_t{info.next_scanline} * WIDTH]));
      jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    benchmark::DoNotOptimize(bytes);
    std::free(bytes);
  }
}

// ---- Through the image service --------------------------------------------------

void service_decode(benchmark::State& state, int32_t format) {
  start();
  const std::vector<uint8_t>& bytes = encoded(format);
  cell bin{TYPE_UNSET, 0, 0, 0}, img{TYPE_UNSET, 0, 0, 0};
  memory::root_guard keep_bin(&bin), keep_img(&img);
  binary::load_at(bytes.data(), static_cast<int32_t>(bytes.size()), &bin);
  for (auto _ : state) {
    image_files::decode_binary(&bin, &img);
    benchmark::DoNotOptimize(image::pixels_of(&img));
    img = cell{TYPE_UNSET, 0, 0, 0};
  }
}

void service_encode(benchmark::State& state, int32_t format) {
  start();
  cell img{TYPE_UNSET, 0, 0, 0}, bin{TYPE_UNSET, 0, 0, 0};
  memory::root_guard keep_img(&img), keep_bin(&bin);
  image::make_at(&img, WIDTH, HEIGHT);
  std::memcpy(image::pixels_of(&img), picture().data(), picture().size() * 4);
  for (auto _ : state) {
    image_files::encode(&img, &bin, format);
    benchmark::DoNotOptimize(binary::rs_head(&bin));
    bin = cell{TYPE_UNSET, 0, 0, 0};
  }
}

void service_png_decode(benchmark::State& state) { service_decode(state, images::FORMAT_PNG); }
void service_png_encode(benchmark::State& state) { service_encode(state, images::FORMAT_PNG); }
void service_jpeg_decode(benchmark::State& state) { service_decode(state, images::FORMAT_JPEG); }
void service_jpeg_encode(benchmark::State& state) { service_encode(state, images::FORMAT_JPEG); }

BENCHMARK(direct_png_decode)->Unit(benchmark::kMillisecond);
BENCHMARK(service_png_decode)->Unit(benchmark::kMillisecond);
BENCHMARK(direct_png_encode)->Unit(benchmark::kMillisecond);
BENCHMARK(service_png_encode)->Unit(benchmark::kMillisecond);
BENCHMARK(direct_jpeg_decode)->Unit(benchmark::kMillisecond);
BENCHMARK(service_jpeg_decode)->Unit(benchmark::kMillisecond);
BENCHMARK(direct_jpeg_encode)->Unit(benchmark::kMillisecond);
BENCHMARK(service_jpeg_encode)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ixo
