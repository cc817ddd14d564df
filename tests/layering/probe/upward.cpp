// A text-module file reaching up into the protocol module: must not compile.
#include "net/http_client.h"

int LayeringProbe() {
  return 0;
}
