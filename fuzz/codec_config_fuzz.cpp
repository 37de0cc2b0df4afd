// Feeds arbitrary bytes to the codec configuration readers as a sample
// description box (H.264, AAC and Opus entries), and to the SPS parser as a
// NAL unit. No input may crash them; what they accept must describe a stream
// that can exist: a picture inside its coded size, a known sampling rate.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/media/H264SequenceParameterSet.h"
#include "util/qnv/mp4/QNVMp4CodecConfiguration.h"

using namespace plexora;

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "codec_config_fuzz: %s\n", what);
  std::abort();
}

void checkPicture(const platform::H264SequenceParameterSet& sps) {
  require(sps.croppedWidth() > 0 && sps.croppedWidth() <= sps.codedWidth, "cropped width outside the picture");
  require(sps.croppedHeight() > 0 && sps.croppedHeight() <= sps.codedHeight, "cropped height outside the picture");
  require(sps.sampleAspectWidth != 0 && sps.sampleAspectHeight != 0, "zero sample aspect");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (const auto sps = platform::parseH264SequenceParameterSet({data, size})) checkPicture(*sps);

  QNVMP4SampleDescription description;
  if (!readQNVMp4SampleDescriptionBox(QNVByteReader(data, data + size), description)) return 0;
  require(description.naluLengthSize <= 4, "NAL length size beyond 4");
  std::optional<platform::VideoFormatDescription> format;
  if (createH264FormatDescription(description, format) == platform::kVideoFormatDescriptionOK) {
    require(format.has_value(), "success without a description");
    checkPicture(format->sequenceParameterSet());
  }
  if (const auto audio = audioStreamDescription(description)) {
    require(audio->sampleRate >= 7350 && audio->sampleRate <= 96000, "sampling rate outside the table");
  }
  const platform::Dictionary opus = opusHeaderDictionary(description);
  require(opus.find("channelMapping")->asData().size() == (description.hasChannelMapping != 0 ? 10 : 0),
          "channel mapping of the wrong size");
  return 0;
}
