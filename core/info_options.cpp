#include "info_options.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "deliverable.h"
#include "search_paths.h"
#include "world_lookup.h"

#ifndef ZEKO_VERSION
#error "ZEKO_VERSION: set by CMake"
#endif

namespace zeko {

bool answer_info_option(int argc, char** argv) {
  bool help = false, version = false;
  for (int i = 1; i < argc; ++i) {
    help = help || std::string_view(argv[i]) == "--help";
    version = version || std::string_view(argv[i]) == "--version";
  }
  const Deliverable& d = deliverable();
  std::string text;
  if (help) {
    text = std::string("Aufruf: ") + d.program_name + " [--help | --version]\n\n" + d.help +
           "\nWelten: ein Name ohne / wird, wenn es ihn im aktuellen Ordner nicht gibt,\n"
           "in den Ordnern von ZEKO_WELTEN (durch : getrennt) gesucht, dann in den\n"
           "Ordnern, die " + system_config_path() + " nennt, und dann in\n" +
           installed_world_folder() +
           "\n\n"
           "  --help     zeigt diese Hilfe\n"
           "  --version  zeigt die Version\n\n"
           "Mehr dazu: man " +
           d.program_name + "\n";
  } else if (version) {
    text = std::string(d.program_name) + " (Zeko) " ZEKO_VERSION "\n";
  } else {
    return false;
  }
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
  return true;
}

}  // namespace zeko
