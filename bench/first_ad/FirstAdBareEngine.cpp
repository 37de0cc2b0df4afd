// first_ad_bare_engine MARKUP_FILE: the web engine alone, as a program that
// shows one page would use it: it starts, loads the markup into a 320x50
// view and, once a frame shows the markup drawn, prints "drawn" and ends.
// Exit status 0 when drawn, 1 when the engine failed or a minute passed, 2
// for bad arguments.
#include <wayland-server.h>
#include <wpe/fdo.h>
#include <wpe/unstable/fdo-shm.h>
#include <wpe/webkit.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "FirstAdDrawnColor.h"

namespace {

constexpr const char* kBackendLibrary = "libWPEBackend-fdo-1.0.so.1";
constexpr const char* kBaseURL = "http://127.0.0.1/";
constexpr std::uint32_t kWidth = 320;
constexpr std::uint32_t kHeight = 50;
constexpr unsigned kDrawLimitMilliseconds = 60000;

struct Program {
  wpe_view_backend_exportable_fdo* exportable = nullptr;
  GMainLoop* loop = nullptr;
  bool drawn = false;
};

// The frame is 32-bit (A|X)RGB in memory order B, G, R, A.
bool frameShowsMarkup(wl_shm_buffer* buffer) {
  const auto width = static_cast<std::uint32_t>(wl_shm_buffer_get_width(buffer));
  const auto height = static_cast<std::uint32_t>(wl_shm_buffer_get_height(buffer));
  const auto stride = static_cast<std::uint32_t>(wl_shm_buffer_get_stride(buffer));
  if (width == 0 || height == 0) return false;
  wl_shm_buffer_begin_access(buffer);
  const auto* pixels = static_cast<const std::uint8_t*>(wl_shm_buffer_get_data(buffer));
  const std::uint8_t* pixel = pixels + (height / 4) * stride + (width / 4) * 4;
  const bool shows = plexora::bench::isDrawnColor(pixel[2], pixel[1], pixel[0]);
  wl_shm_buffer_end_access(buffer);
  return shows;
}

void exportShmBuffer(void* data, wpe_fdo_shm_exported_buffer* exported) {
  auto* program = static_cast<Program*>(data);
  if (!program->drawn && frameShowsMarkup(wpe_fdo_shm_exported_buffer_get_shm_buffer(exported))) {
    program->drawn = true;
    g_main_loop_quit(program->loop);
  }
  wpe_view_backend_exportable_fdo_dispatch_release_shm_exported_buffer(program->exportable, exported);
  wpe_view_backend_exportable_fdo_dispatch_frame_complete(program->exportable);
}

const wpe_view_backend_exportable_fdo_client kExportClient = {
    nullptr, nullptr, exportShmBuffer, nullptr, nullptr,
};

gboolean giveUp(gpointer data) {
  g_main_loop_quit(static_cast<Program*>(data)->loop);
  return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::ifstream file(argv[1]);
  const std::string markup((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (markup.empty()) return 2;
  // As the library does: no accessibility bus to look for.
  ::setenv("WEBKIT_A11Y_BUS_ADDRESS", "", 0);
  if (!wpe_loader_init(kBackendLibrary) || !wpe_fdo_initialize_shm()) return 1;

  Program program;
  program.loop = g_main_loop_new(nullptr, FALSE);
  program.exportable = wpe_view_backend_exportable_fdo_create(&kExportClient, &program, kWidth, kHeight);
  wpe_view_backend* backend = wpe_view_backend_exportable_fdo_get_view_backend(program.exportable);
  wpe_view_backend_add_activity_state(
      backend, wpe_view_activity_state_visible | wpe_view_activity_state_focused | wpe_view_activity_state_in_window);
  WebKitWebContext* context = webkit_web_context_new_ephemeral();
  WebKitWebView* view = webkit_web_view_new_with_context(webkit_web_view_backend_new(backend, nullptr, nullptr), context);
  webkit_web_view_load_html(view, markup.c_str(), kBaseURL);
  g_timeout_add(kDrawLimitMilliseconds, giveUp, &program);
  g_main_loop_run(program.loop);
  if (!program.drawn) return 1;
  std::fputs(plexora::bench::kDrawnLine, stdout);
  std::fflush(stdout);
  return 0;
}
