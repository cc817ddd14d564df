// The SMS-code dialog's logic without a toolkit: the six-digit rule and the re-request
// countdown on the button. The dialog calls Tick about ten times a second from a timer of its
// own (so nothing can update it once it is gone); the count goes down by one for every change
// of the clock's whole second it observes, from 120 to 0, and the button is enabled at 0.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace orvane::wizard {

inline constexpr int kSmsCodeDelaySeconds = 120;
inline constexpr char16_t kSmsCodeCaption[] = u"Запросить СМС-код повторно";
inline constexpr char16_t kSmsCodeWarning[] = u"Введите СМС-код (6 цифр)";

// Exactly six characters, all decimal digits.
bool IsCompleteSmsCode(std::u16string_view code);

class SmsCodeCountdown {
 public:
  // The calendar time in whole seconds; replaceable for tests.
  using Clock = std::function<std::int64_t()>;
  static std::int64_t WallSeconds();

  explicit SmsCodeCountdown(Clock clock = WallSeconds);

  // Reads the clock: one second less for a changed second. True when the count changed.
  bool Tick();
  // After a successful re-request: 120 again.
  void Restart();

  int SecondsLeft() const { return secondsLeft_; }
  bool ButtonEnabled() const { return secondsLeft_ < 1; }
  // "Запросить СМС-код повторно", or "Запросить СМС-код повторно - N" while counting.
  std::u16string ButtonCaption() const;

 private:
  Clock clock_;
  int secondsLeft_ = kSmsCodeDelaySeconds;
  std::int64_t lastSecond_ = 0;
};

}  // namespace orvane::wizard
