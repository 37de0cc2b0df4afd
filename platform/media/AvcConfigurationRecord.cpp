#include "platform/media/AvcConfigurationRecord.h"

namespace plexora::platform {

bool makeAvcConfigurationRecord(const VideoFormatDescription& format, std::vector<uint8_t>& record) {
  constexpr size_t kSpsHeaderBytes = 4;  // NAL header, profile, constraints, level
  constexpr size_t kMaxSetBytes = 0xffff;
  const auto& sets = format.parameterSets();
  if (sets.size() < 2 || sets[0].size() < kSpsHeaderBytes || sets.size() - 1 > 0xff) return false;
  const int32_t lengthSize = format.nalUnitHeaderLength();
  if (lengthSize != 1 && lengthSize != 2 && lengthSize != 4) return false;
  record = {1, sets[0][1], sets[0][2], sets[0][3], static_cast<uint8_t>(0xfc | (lengthSize - 1)), 0xe1};
  auto append = [&record](const std::vector<uint8_t>& set) {
    if (set.empty() || set.size() > kMaxSetBytes) return false;
    record.push_back(static_cast<uint8_t>(set.size() >> 8));
    record.push_back(static_cast<uint8_t>(set.size()));
    record.insert(record.end(), set.begin(), set.end());
    return true;
  };
  if (!append(sets[0])) return false;
  record.push_back(static_cast<uint8_t>(sets.size() - 1));
  for (size_t i = 1; i < sets.size(); ++i) {
    if (!append(sets[i])) return false;
  }
  return true;
}

}  // namespace plexora::platform
