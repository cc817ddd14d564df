// A protocol-module file using the text module below it: compiles.
#include "net/http_client.h"
#include "text/text.h"

int LayeringProbe() {
  return orvane::text::StartsWith("ab", "a") ? 1 : 0;
}
