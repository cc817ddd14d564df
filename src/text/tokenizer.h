// Quote-aware tokenizer for distinguished-name texts. Splits at a separator outside quotes;
// a doubled quote character is an escaped quote; quote characters stay in the tokens.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane::text {

template <typename CharT>
class BasicTokenizer {
 public:
  using String = std::basic_string<CharT>;
  using View = std::basic_string_view<CharT>;

  // quote 0 disables quoting; skip is how many characters are passed over after a separator.
  BasicTokenizer(View text, View separator, CharT quote, std::size_t skip)
      : text_(text), separator_(separator), quote_(quote), skip_(skip) {}

  // The next token, or none when the text is exhausted. An empty text gives one empty token.
  std::optional<String> NextToken() {
    if (started_ && pos_ >= text_.size()) return std::nullopt;
    started_ = true;
    const std::size_t start = pos_;
    std::size_t i = pos_;
    while (i < text_.size()) {
      const CharT c = text_[i];
      if (quote_ != 0 && c == quote_) {
        if (i + 1 < text_.size() && text_[i + 1] == quote_) {
          i += 2;  // escaped quote, state unchanged
          continue;
        }
        inQuotes_ = !inQuotes_;
        ++i;
        continue;
      }
      if (!inQuotes_ && !separator_.empty() && View(text_).substr(i).starts_with(separator_)) {
        pos_ = std::min(text_.size(), i + skip_);
        return text_.substr(start, i - start);
      }
      ++i;
    }
    pos_ = text_.size();
    return text_.substr(start);
  }

 private:
  String text_;
  String separator_;
  CharT quote_;
  std::size_t skip_;
  std::size_t pos_ = 0;
  bool inQuotes_ = false;
  bool started_ = false;
};

using Tokenizer = BasicTokenizer<char>;
using WideTokenizer = BasicTokenizer<char16_t>;

}  // namespace orvane::text
