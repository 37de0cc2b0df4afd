#include "adapters/views/video/OVVideoAdContentView.h"

#include <cmath>
#include <cstdio>

#include "adapters/OVInstreamAdDataModel.h"

namespace plexora {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr std::int64_t kSecondsPerHour = 3600;
constexpr std::int64_t kSecondsPerMinute = 60;
// Spans from these lengths on show hours, then two-digit minutes.
constexpr double kHoursFromDuration = 3600.0;
constexpr double kTwoDigitMinutesFromDuration = 600.0;

}  // namespace

void OVVideoAdContentView::loadAdFromDataModel(const std::shared_ptr<OVInstreamAdDataModel>& dataModel) {
  if (!dataModel) return;
  countdownEnabled_ = dataModel->countdownEnabled();
  if (dataModel->countdownFormat()) {
    countdownFormat_ = *dataModel->countdownFormat();
  }
}

std::string OVVideoAdContentView::formattedCountdownFromRemainingSeconds(std::uint64_t seconds) const {
  const std::string time = timeStringFromDate(static_cast<double>(seconds), static_cast<double>(seconds));
  const std::string placeholder(kOVVideoAdRemainingTimePlaceholder);
  std::string text;
  std::size_t from = 0;
  for (std::size_t found = countdownFormat_.find(placeholder); found != std::string::npos;
       found = countdownFormat_.find(placeholder, from)) {
    text.append(countdownFormat_, from, found - from).append(time);
    from = found + placeholder.size();
  }
  return text.append(countdownFormat_, from, std::string::npos);
}

std::string OVVideoAdContentView::timeStringFromDate(double secondsSinceReferenceDate, double duration) {
  if (!std::isfinite(secondsSinceReferenceDate)) return "";
  // The clock time in UTC: whole seconds into the day, whatever the day.
  double intoDay = std::fmod(std::floor(secondsSinceReferenceDate), kSecondsPerDay);
  if (intoDay < 0) intoDay += kSecondsPerDay;
  const auto total = static_cast<std::int64_t>(intoDay);
  const auto hours = static_cast<int>(total / kSecondsPerHour);
  const auto minutes = static_cast<int>(total / kSecondsPerMinute % kSecondsPerMinute);
  const auto seconds = static_cast<int>(total % kSecondsPerMinute);
  char text[16];
  if (duration >= kHoursFromDuration) {
    std::snprintf(text, sizeof text, "%d:%02d:%02d", hours, minutes, seconds);
  } else if (duration >= kTwoDigitMinutesFromDuration) {
    std::snprintf(text, sizeof text, "%02d:%02d", minutes, seconds);
  } else {
    std::snprintf(text, sizeof text, "%d:%02d", minutes, seconds);
  }
  return text;
}

}  // namespace plexora
