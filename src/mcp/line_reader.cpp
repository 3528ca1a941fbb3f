#include "mcp/line_reader.h"

bool read_line(FILE* in, std::string& line) {
  line.clear();
  int c = std::getc(in);
  if (c == EOF) return false;
  while (c != EOF) {
    line += static_cast<char>(c);
    if (c == '\n') break;
    c = std::getc(in);
  }
  return true;
}
