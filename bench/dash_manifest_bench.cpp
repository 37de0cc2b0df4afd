// What turning a DASH manifest into playlist records costs, beside libxml2
// alone doing the reading underneath:
//   BM_PlaylistLoad      a 1 MB manifest (three video representations and
//                        one audio, each a SegmentTimeline of 10,000
//                        entries) read and merged into new playlist data
//   BM_LibxmlQueries     libxml2 reading the same bytes and evaluating the
//                        same XPath queries, nothing kept
//   BM_LiveRefresh       a refresh of a live playlist that holds 10,000
//                        entries by a manifest that lists them and one more
// The loads go through the playlist loader as the asset drives it: inline
// for the first, through a fetcher that answers from memory for refreshes.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/dash/QNVDashPlaylistLoader.h"

namespace {

using namespace plexora;

constexpr int kEntries = 10'000;
constexpr uint64_t kSegmentMs = 2000;
const char* const kVideoIds[] = {"v1", "v2", "v3"};

std::string representation(const std::string& id, const char* mime, int firstEntry, int count) {
  std::string text = "<Representation id=\"" + id + "\" mimeType=\"" + mime +
                     "\" width=\"640\" height=\"360\" bandwidth=\"500000\"><SegmentTemplate timescale=\"1000\" "
                     "initialization=\"init.mp4\" media=\"" +
                     id + "/$Time$.m4s\"><SegmentTimeline>";
  for (int i = firstEntry; i < firstEntry + count; ++i) {
    text +=
        "<S t=\"" + std::to_string(1'700'000'000'000ULL + kSegmentMs * static_cast<uint64_t>(i)) + "\" d=\"2000\"/>";
  }
  return text + "</SegmentTimeline></SegmentTemplate></Representation>";
}

std::string manifest(int firstEntry, int count) {
  std::string text =
      "<?xml version=\"1.0\"?><MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" type=\"dynamic\"><Period>"
      "<AdaptationSet>";
  for (const char* id : kVideoIds) text += representation(id, "video/mp4", firstEntry, count);
  text += "</AdaptationSet><AdaptationSet>" + representation("a1", "audio/mp4", firstEntry, count);
  return text + "</AdaptationSet></Period></MPD>";
}

QNVDashPlaylistLoaderSettings settings() {
  QNVDashPlaylistLoaderSettings s;
  s.segmentsFromEndToStartPrefetch = 2 * kEntries;
  s.segmentsFromEndToStartUpdate = 2 * kEntries;
  return s;
}

std::shared_ptr<QNVAdaptiveBitrateSelector> selector() {
  return std::make_shared<QNVAdaptiveBitrateSelector>(kQNVAbrSelectorTypeHighest, 0, QNVAbrParameters{}, nullptr, 1);
}

void BM_PlaylistLoad(benchmark::State& state) {
  const std::string bytes = manifest(0, kEntries);
  for (auto _ : state) {
    auto data = std::make_shared<QNVDashPlaylistData>();
    auto loader = QNVDashPlaylistLoader::initWithMpdUrl(
        std::nullopt, bytes, data, std::make_shared<QNVAssetResourceLoader>(), selector(), settings());
    QNVMediaStateQueue()->sync([&] { loader->handleInlinedManifest(); });
    if (data->timelineEntries(kQNVVideoTrack).size() != kEntries) state.SkipWithError("not loaded");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_PlaylistLoad)->Unit(benchmark::kMillisecond);

// The queries the reader evaluates, compiled once as it does.
struct Queries {
  xmlXPathCompExprPtr compile(const char* text) { return xmlXPathCompile(reinterpret_cast<const xmlChar*>(text)); }
  xmlXPathCompExprPtr representations = compile("//dash:Representation");
  std::vector<xmlXPathCompExprPtr> perRepresentation = {compile("string(@id)"),
                                                        compile("number(@width)"),
                                                        compile("number(@height)"),
                                                        compile("number(@bandwidth)"),
                                                        compile("string(@mimeType)"),
                                                        compile("dash:SegmentBase"),
                                                        compile("dash:SegmentList"),
                                                        compile("dash:SegmentTemplate"),
                                                        compile("string(dash:SegmentTemplate/@initialization)"),
                                                        compile("string(dash:SegmentTemplate/@media)"),
                                                        compile("number(dash:SegmentTemplate/@timescale)")};
  xmlXPathCompExprPtr segments = compile("dash:SegmentTemplate/dash:SegmentTimeline/dash:S");
  xmlXPathCompExprPtr time = compile("string(@t)");
  xmlXPathCompExprPtr duration = compile("string(@d)");
};

void evaluateAndDrop(xmlXPathCompExprPtr expression, xmlXPathContextPtr context) {
  xmlXPathObjectPtr result = xmlXPathCompiledEval(expression, context);
  xmlChar* text = xmlXPathCastToString(result);
  benchmark::DoNotOptimize(text);
  xmlFree(text);
  xmlXPathFreeObject(result);
}

void BM_LibxmlQueries(benchmark::State& state) {
  const std::string bytes = manifest(0, kEntries);
  Queries queries;
  for (auto _ : state) {
    xmlDocPtr document = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, XML_PARSE_NONET);
    xmlXPathContextPtr context = xmlXPathNewContext(document);
    xmlXPathRegisterNs(context, reinterpret_cast<const xmlChar*>("dash"),
                       reinterpret_cast<const xmlChar*>("urn:mpeg:dash:schema:mpd:2011"));
    xmlXPathObjectPtr representations = xmlXPathCompiledEval(queries.representations, context);
    for (int r = 0; r < representations->nodesetval->nodeNr; ++r) {
      context->node = representations->nodesetval->nodeTab[r];
      for (xmlXPathCompExprPtr expression : queries.perRepresentation) evaluateAndDrop(expression, context);
      xmlXPathObjectPtr segments = xmlXPathCompiledEval(queries.segments, context);
      for (int s = 0; s < segments->nodesetval->nodeNr; ++s) {
        context->node = segments->nodesetval->nodeTab[s];
        evaluateAndDrop(queries.time, context);
        evaluateAndDrop(queries.duration, context);
      }
      xmlXPathFreeObject(segments);
    }
    xmlXPathFreeObject(representations);
    xmlXPathFreeContext(context);
    xmlFreeDoc(document);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_LibxmlQueries)->Unit(benchmark::kMillisecond);

// Answers every manifest request at once with the bytes it holds.
class MemoryFetcher final : public QNVAssetResourceLoaderDelegate {
 public:
  std::string bytes;
  void resourceLoaderLoadRequest(const std::shared_ptr<QNVAssetResourceLoader>&,
                                 const std::shared_ptr<QNVAssetResourceLoadingRequest>& request) override {
    request->dataRequest()->respondWithData(platform::asBytes(bytes));
    request->finishLoading();
  }
  void resourceLoaderCancelLoadingRequest(const std::shared_ptr<QNVAssetResourceLoader>&,
                                          const std::shared_ptr<QNVAssetResourceLoadingRequest>&) override {}
  bool resourceLoaderHasPrefetchedDataForUrl(const std::shared_ptr<QNVAssetResourceLoader>&,
                                             const platform::URL&) override {
    return false;
  }
};

void BM_LiveRefresh(benchmark::State& state) {
  auto fetcher = std::make_shared<MemoryFetcher>();
  auto resourceLoader = std::make_shared<QNVAssetResourceLoader>();
  resourceLoader->setDelegate(fetcher, platform::DispatchQueue::global(), std::nullopt, std::nullopt, std::nullopt);
  auto data = std::make_shared<QNVDashPlaylistData>();
  auto loader = QNVDashPlaylistLoader::initWithMpdUrl(platform::URL::parse("http://h.test/live.mpd"), "", data,
                                                      resourceLoader, selector(), settings());
  const auto refresh = [&] {
    QNVMediaStateQueue()->sync([&] { loader->forcePlaylistUpdate(); });
    bool outstanding = true;
    while (outstanding) {
      QNVMediaStateQueue()->sync([&] { outstanding = loader->hasOutstandingPlaylistRequest(); });
      if (outstanding) std::this_thread::yield();
    }
  };
  fetcher->bytes = manifest(0, kEntries);
  refresh();
  int first = 1;
  for (auto _ : state) {
    state.PauseTiming();
    fetcher->bytes = manifest(first++, kEntries);
    state.ResumeTiming();
    refresh();
  }
  if (data->timelineEntries(kQNVVideoTrack).size() != static_cast<size_t>(kEntries + first - 1)) {
    state.SkipWithError("refresh did not add one entry");
  }
  QNVMediaStateQueue()->sync([&] { loader.reset(); });
}
BENCHMARK(BM_LiveRefresh)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
