// The quote-aware tokenizer of distinguished-name texts, narrow and wide. The input starts
// with three configuration bytes, then the separator, then the text:
//   byte 0  separator length: 1 + byte % 3
//   byte 1  quote: byte % 4 = 0 none, 1 '"', 2 '\'', 3 the byte after the separator
//   byte 2  characters passed over after a separator: 1 + byte % 3
// The program's own use is "," with '"' and 1 ("\x00\x01\x00," before the text).
//
// Checked besides memory safety: the tokenizer ends (never more tokens than characters plus
// one), the tokens follow one another through the text, and when exactly the separator is
// passed over, tokens joined by the separator give the text back (a text ending in a
// separator loses only that separator). The wide tokenizer must split the UTF-16 form of an
// ASCII text exactly as the narrow one splits the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/fuzz_env.h"
#include "text/text.h"
#include "text/tokenizer.h"

using namespace orvane;

namespace {

template <typename CharT>
std::vector<std::basic_string<CharT>> Split(std::basic_string_view<CharT> textIn,
                                            std::basic_string_view<CharT> separator, CharT quote, std::size_t skip) {
  text::BasicTokenizer<CharT> tokens(textIn, separator, quote, skip);
  std::vector<std::basic_string<CharT>> out;
  while (auto token = tokens.NextToken()) {
    out.push_back(std::move(*token));
    if (out.size() > textIn.size() + 1) fuzz::Finding("the tokenizer does not end");
  }
  if (out.empty()) fuzz::Finding("no token at all (an empty text gives one empty token)");

  // Each token is the text at the position the previous one left off.
  std::size_t at = 0;
  for (const auto& t : out) {
    if (textIn.substr(at, t.size()) != t)
      fuzz::Finding("a token that does not continue the text where the previous one ended");
    at += t.size() + skip;
  }
  if (skip == separator.size()) {
    std::basic_string<CharT> joined;
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (i != 0) joined += separator;
      joined += out[i];
    }
    if (joined != textIn && joined + std::basic_string<CharT>(separator) != textIn) {
      fuzz::Finding("tokens joined by the separator do not give the text back");
    }
  }
  return out;
}

bool Ascii(std::string_view s) {
  for (const char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::size_t sepLength = 1 + data[0] % 3;
  const std::size_t skip = 1 + data[2] % 3;
  if (size < 3 + sepLength) return 0;
  const std::string_view separator(reinterpret_cast<const char*>(data + 3), sepLength);
  const std::string_view textIn(reinterpret_cast<const char*>(data + 3 + sepLength), size - 3 - sepLength);
  char quote = 0;
  switch (data[1] % 4) {
    case 1:
      quote = '"';
      break;
    case 2:
      quote = '\'';
      break;
    case 3:
      quote = textIn.empty() ? '"' : textIn.front();
      break;
    default:
      break;
  }

  const auto narrow = Split<char>(textIn, separator, quote, skip);

  const std::u16string wideText = text::FromUtf8(textIn);
  const std::u16string wideSeparator = text::FromUtf8(separator);
  const auto wide =
      Split<char16_t>(wideText, wideSeparator, static_cast<char16_t>(static_cast<unsigned char>(quote)), skip);
  if (Ascii(textIn) && Ascii(separator)) {
    if (wide.size() != narrow.size()) fuzz::Finding("wide and narrow tokenizers split differently");
    for (std::size_t i = 0; i < wide.size(); ++i) {
      if (wide[i] != text::FromUtf8(narrow[i])) fuzz::Finding("wide and narrow tokens differ");
    }
  }
  return 0;
}
