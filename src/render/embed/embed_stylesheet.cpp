// Build step: turns the form stylesheets (UTF-8 sources) into windows-1251 documents compiled
// into the program. The declaration's encoding="UTF-8" becomes encoding="windows-1251"; a
// character without a windows-1251 form stops the build.
//   embed_stylesheet OUT.cpp FUNCTION SOURCE.xsl [FUNCTION SOURCE.xsl ...]
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "text/text.h"

namespace {

bool Convert(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "embed_stylesheet: cannot read %s\n", path.c_str());
    return false;
  }
  std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string from = "encoding=\"UTF-8\"";
  const std::size_t at = utf8.find(from);
  if (at == std::string::npos || at > utf8.find('\n')) {
    std::fprintf(stderr, "embed_stylesheet: %s: the first line must declare encoding=\"UTF-8\"\n", path.c_str());
    return false;
  }
  utf8.replace(at, from.size(), "encoding=\"windows-1251\"");
  const std::u16string wide = orvane::text::FromUtf8(utf8);
  out = orvane::text::WideToCp1251(wide).value_or("");
  if (orvane::text::Cp1251ToWide(out).value_or(u"") != wide) {
    std::fprintf(stderr, "embed_stylesheet: %s has characters without a windows-1251 form\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc % 2 != 0) {
    std::fputs("usage: embed_stylesheet OUT.cpp FUNCTION SOURCE.xsl [FUNCTION SOURCE.xsl ...]\n", stderr);
    return 2;
  }
  std::ostringstream cpp;
  cpp << "// Generated from the form stylesheets by embed_stylesheet; do not edit.\n"
         "#include \"render/stylesheets.h\"\n\nnamespace orvane::render {\n";
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string bytes;
    if (!Convert(argv[i + 1], bytes)) return 1;
    cpp << "\nnamespace {\nconst unsigned char k" << argv[i] << "[] = {";
    for (std::size_t j = 0; j < bytes.size(); ++j) {
      if (j % 16 == 0) cpp << "\n   ";
      cpp << ' ' << static_cast<unsigned>(static_cast<unsigned char>(bytes[j])) << ',';
    }
    cpp << "\n};\n}  // namespace\n\nstd::span<const std::uint8_t> " << argv[i] << "() {\n  return {k" << argv[i]
        << ", " << bytes.size() << "};\n}\n";
  }
  cpp << "\n}  // namespace orvane::render\n";
  const std::string text = cpp.str();
  std::ifstream old(argv[1], std::ios::binary);
  const std::string previous((std::istreambuf_iterator<char>(old)), std::istreambuf_iterator<char>());
  if (previous == text) return 0;
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << text;
  return out ? 0 : 1;
}
