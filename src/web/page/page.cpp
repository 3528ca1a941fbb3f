#include "web/page/page.h"

// The viewer is not built yet: a minimal, valid document stands in for it.
void page_write(FILE* out) {
  std::fputs("Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n\r\n"
             "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Thought Chains</title></head>"
             "<body><p>Thought Chains</p></body></html>\n",
             out);
}
