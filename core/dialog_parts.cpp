#include "dialog_parts.h"

#include <unistd.h>

#include <string>

#include "console.h"
#include "screen.h"
#include "world_lookup.h"

namespace zeko {

void dialog_title(std::string_view title) {
  LOESCHE_SCHIRM();
  console::write_text(title);
  console::write_line_end();
  console::write_text(" ");
  console::write_line_end();
}

bool ask_name(std::string_view prompt, strngp& name) {
  console::write_text(prompt);
  bool ended = false;
  name.assign(console::read_line(kNameLength, &ended));
  return !ended;
}

bool world_file_opens(std::string_view name) {
  if (name.empty()) return false;
  int fd = open_world_file(find_world_file(name));
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

void red_notice(std::string_view text) {
  FARBE(rot);
  console::write_text(text);
  console::write_line_end();
  FARBE(schwarz);
}

}  // namespace zeko
