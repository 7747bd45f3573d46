#include "compile_job.h"

#include <sys/stat.h>

#include <cstdlib>

#include "compile_command.h"

namespace zekocheck {

bool compile_launch(const std::string& source, const std::string& work_dir, const zeko::compile::Layout& layout,
                    CompileLaunch& out) {
  using namespace zeko::compile;
  Compilers compilers = configured_compilers();
  if (const char* fpc = std::getenv("ZEKOC_FPC"); fpc && *fpc) compilers.fpc = fpc;
  Language language = language_of(source);
  if (!missing_file(layout, language).empty()) return false;

  Request request{source, {}, {}};
  std::string messages;
  if (language == Language::pascal) {
    if (::mkdir(work_dir.c_str(), 0700) != 0) return false;
    request.work_dir = work_dir;
    messages = german_messages(compilers);
  }
  Command command = compile_command(request, layout, compilers, messages);
  std::string compiler = command_path(command.argv[0]), error;
  if (compiler.empty() || !prepare(command, request.work_dir, &error)) return false;
  command.argv[0] = compiler;
  out = {command.argv, command.dir, command.env};
  return true;
}

}  // namespace zekocheck
