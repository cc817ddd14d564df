#include "wizard/sms_code.h"

#include <ctime>

#include "text/text.h"

namespace orvane::wizard {

bool IsCompleteSmsCode(std::u16string_view code) {
  if (code.size() != 6) return false;
  for (const char16_t c : code) {
    if (c < u'0' || c > u'9') return false;
  }
  return true;
}

std::int64_t SmsCodeCountdown::WallSeconds() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

SmsCodeCountdown::SmsCodeCountdown(Clock clock) : clock_(std::move(clock)), lastSecond_(clock_()) {}

bool SmsCodeCountdown::Tick() {
  if (secondsLeft_ <= 0) return false;
  const std::int64_t now = clock_();
  if (now <= lastSecond_) return false;
  lastSecond_ = now;
  --secondsLeft_;
  return true;
}

void SmsCodeCountdown::Restart() {
  secondsLeft_ = kSmsCodeDelaySeconds;
  lastSecond_ = clock_();
}

std::u16string SmsCodeCountdown::ButtonCaption() const {
  if (ButtonEnabled()) return kSmsCodeCaption;
  return std::u16string(kSmsCodeCaption) + u" - " + text::FromUtf8(std::to_string(secondsLeft_));
}

}  // namespace orvane::wizard
