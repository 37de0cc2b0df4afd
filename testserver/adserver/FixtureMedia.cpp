#include "testserver/adserver/FixtureMedia.h"

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE declared first
#include <jpeglib.h>
// clang-format on
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <nlohmann/json.hpp>
#include <vector>

namespace plexora::testserver {

namespace {

// Where media URLs point in a fixture, before the base URL is filled in.
constexpr std::string_view kFixtureMediaURLStart = "{{BASE_URL}}media/";
constexpr const char* kPNGType = "image/png";
constexpr const char* kJPEGType = "image/jpeg";
constexpr std::string_view kURLKey = "url";
constexpr const char* kWidthKey = "width";
constexpr const char* kHeightKey = "height";
constexpr std::string_view kVideoExtension = "mp4";
constexpr std::string_view kImageTagStart = "<img";
// The size of an image whose fixture gives none.
constexpr std::uint32_t kDefaultSide = 64;
// Larger than any ad image; keeps a fixture's typo from costing gigabytes.
constexpr std::uint32_t kLargestSide = 4096;
constexpr int kJPEGQuality = 90;
constexpr std::size_t kChannels = 3;

bool isPlainFileName(std::string_view name) {
  const bool plainCharacters = std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.';
  });
  return plainCharacters && !name.empty() && name.front() != '.' && name.find("..") == std::string_view::npos;
}

std::string_view extensionOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

std::uint32_t sideOf(const nlohmann::json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_number()) return kDefaultSide;
  const double side = found->get<double>();
  return side >= 1 && side <= kLargestSide ? static_cast<std::uint32_t>(side) : 0;
}

// The size given beside the first URL in `node` that is `url`.
std::optional<std::pair<std::uint32_t, std::uint32_t>> sizeBeside(const nlohmann::json& node, const std::string& url) {
  if (node.is_object()) {
    const auto found = node.find(kURLKey);
    if (found != node.end() && found->is_string() && found->get<std::string>() == url) {
      return std::pair{sideOf(node, kWidthKey), sideOf(node, kHeightKey)};
    }
  }
  if (node.is_structured()) {
    for (const auto& child : node) {
      if (auto size = sizeBeside(child, url)) return size;
    }
  }
  return std::nullopt;
}

// The size an <img> tag of a page's markup in `node` gives the image at
// `url` in its width and height attributes (the default side for one it
// leaves out).
std::optional<std::pair<std::uint32_t, std::uint32_t>> sizeInMarkup(const nlohmann::json& node,
                                                                   const std::string& url) {
  if (node.is_string()) {
    const std::string& text = node.get_ref<const std::string&>();
    const std::size_t at = text.find(url);
    if (at == std::string::npos) return std::nullopt;
    const std::size_t tagStart = text.rfind(kImageTagStart, at);
    const std::size_t tagEnd = text.find('>', at);
    if (tagStart == std::string::npos || tagEnd == std::string::npos) return std::nullopt;
    // Named outside an image tag: a picture of the default size.
    if (text.find('>', tagStart) < at) return std::pair{kDefaultSide, kDefaultSide};
    const std::string tag = text.substr(tagStart, tagEnd - tagStart);
    const auto attribute = [&tag](const char* name) {
      std::smatch match;
      if (!std::regex_search(tag, match, std::regex(std::string("\\s") + name + "=\"([0-9]{1,5})\""))) return kDefaultSide;
      const unsigned long side = std::stoul(match[1]);
      return side >= 1 && side <= kLargestSide ? static_cast<std::uint32_t>(side) : 0;
    };
    return std::pair{attribute(kWidthKey), attribute(kHeightKey)};
  }
  if (node.is_structured()) {
    for (const auto& child : node) {
      if (auto size = sizeInMarkup(child, url)) return size;
    }
  }
  return std::nullopt;
}

// RGB rows, top to bottom.
std::vector<std::uint8_t> gradient(std::string_view name, std::uint32_t width, std::uint32_t height) {
  const std::size_t seed = std::hash<std::string_view>{}(name);
  const std::uint8_t from[kChannels] = {static_cast<std::uint8_t>(seed), static_cast<std::uint8_t>(seed >> 8),
                                        static_cast<std::uint8_t>(seed >> 16)};
  const std::uint8_t to[kChannels] = {static_cast<std::uint8_t>(255 - from[1]), static_cast<std::uint8_t>(255 - from[2]),
                                      static_cast<std::uint8_t>(255 - from[0])};
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * kChannels);
  const double span = static_cast<double>(width) + height;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const double amount = (x + y) / span;
      std::uint8_t* pixel = &pixels[(static_cast<std::size_t>(y) * width + x) * kChannels];
      for (std::size_t c = 0; c < kChannels; ++c) {
        pixel[c] = static_cast<std::uint8_t>(from[c] + (to[c] - from[c]) * amount);
      }
    }
  }
  return pixels;
}

std::optional<std::string> encodePNG(const std::vector<std::uint8_t>& pixels, std::uint32_t width,
                                     std::uint32_t height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr)) return std::nullopt;
  std::string body(size, '\0');
  if (!png_image_write_to_memory(&image, body.data(), &size, 0, pixels.data(), 0, nullptr)) return std::nullopt;
  body.resize(size);
  return body;
}

struct JPEGFailure {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void leaveJPEG(j_common_ptr info) { std::longjmp(reinterpret_cast<JPEGFailure*>(info->err)->jump, 1); }

// Only plain C state lives between setjmp and a longjmp back to it.
bool compressJPEG(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, unsigned char** out,
                  unsigned long* size) {
  jpeg_compress_struct info{};
  JPEGFailure failure{};
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = leaveJPEG;
  if (setjmp(failure.jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, out, size);
  info.image_width = width;
  info.image_height = height;
  info.input_components = kChannels;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, kJPEGQuality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<std::uint8_t*>(pixels + static_cast<std::size_t>(info.next_scanline) * width * kChannels);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

std::optional<std::string> encodeJPEG(const std::vector<std::uint8_t>& pixels, std::uint32_t width,
                                      std::uint32_t height) {
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const bool compressed = compressJPEG(pixels.data(), width, height, &out, &size);
  std::optional<std::string> body;
  if (compressed && out != nullptr) body.emplace(reinterpret_cast<const char*>(out), size);
  std::free(out);
  return body;
}

}  // namespace

std::optional<FixtureImage> paintImage(std::string_view name, std::uint32_t width, std::uint32_t height) {
  if (width == 0 || height == 0 || width > kLargestSide || height > kLargestSide) return std::nullopt;
  const std::string_view extension = extensionOf(name);
  const bool png = extension == "png";
  const bool jpeg = extension == "jpg" || extension == "jpeg";
  if (!png && !jpeg) return std::nullopt;
  const std::vector<std::uint8_t> pixels = gradient(name, width, height);
  std::optional<std::string> body = png ? encodePNG(pixels, width, height) : encodeJPEG(pixels, width, height);
  if (!body) return std::nullopt;
  return FixtureImage{png ? kPNGType : kJPEGType, std::move(*body)};
}

std::optional<FixtureImage> fixtureImage(const FixtureLibrary& fixtures, std::string_view name) {
  if (!isPlainFileName(name)) return std::nullopt;
  const std::string url = std::string(kFixtureMediaURLStart) + std::string(name);
  for (const std::string& fixture : fixtures.names()) {
    const std::optional<std::string> text = fixtures.read(fixture);
    if (!text || text->find(url) == std::string::npos) continue;
    const nlohmann::json document = nlohmann::json::parse(*text, nullptr, false);
    if (const auto size = sizeBeside(document, url)) return paintImage(name, size->first, size->second);
    if (const auto size = sizeInMarkup(document, url)) return paintImage(name, size->first, size->second);
  }
  return std::nullopt;
}

std::optional<std::string> fixtureVideo(const std::filesystem::path& directory, std::string_view name) {
  if (!isPlainFileName(name) || extensionOf(name) != kVideoExtension) return std::nullopt;
  std::ifstream file(directory / std::string(name), std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace plexora::testserver
