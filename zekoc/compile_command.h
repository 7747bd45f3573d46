// How a learner's program is compiled: the compiler's command line for a
// Pascal (fpc), C (cc) or C++ (c++) program against the unit, header and
// library of Zeko. zekoc runs it; zekocheck can start the compiler the same
// way without a zekoc process. No output, no process-wide state: every input
// is a parameter, every effect a returned value or the files of prepare().
#pragma once

#include <string>
#include <vector>

namespace zeko::compile {

enum class Language { pascal, c, cxx };

// By the file's ending: .c is C; .cpp, .cc, .cxx are C++; anything else is
// handed to Free Pascal (.pas, .pp and whatever fpc makes of it).
Language language_of(const std::string& source);

// Where Zeko's own files lie.
struct Layout {
  std::string unit_dir;     // zekoinc.pas, beside it the precompiled unit and its stamp
  std::string lib_dir;      // libzekoinc.so
  std::string include_dir;  // zekoinc.h
};

// What is known about the compilers without asking them (found when Zeko
// was configured, see zekoc/CMakeLists.txt).
struct Compilers {
  std::string fpc = "fpc";
  // "VERSION CPU-OS" of the fpc the unit was precompiled with, and that
  // fpc's real compiler: the precompiled unit is taken only while this one
  // is still there and `fpc` above is the configured command.
  std::string fpc_id;
  std::string fpc_binary;
  std::string configured_fpc = "fpc";
  std::string german_messages;  // fpc's errordu.msg; empty: none known
  std::string cc = "cc";
  std::string cxx = "c++";
};

// Zeko's files for a program in `program_dir` (zekoc's or zekocheck's own
// folder): the installed layout relative to it, else the build tree's.
Layout find_layout(const std::string& program_dir);

// Why a program in `language` cannot be compiled with `layout` (German,
// for "zekoc: ..."), or empty when every file is there.
std::string missing_file(const Layout& layout, Language language);

// What configure found (fpc, its id and real compiler, the German message
// file); ZEKOC_FPC is for the caller to apply.
Compilers configured_compilers();

// The name of the stamp file beside the precompiled unit; it holds fpc_id.
inline constexpr const char* kUnitStamp = "zekoinc.stamp";

struct Request {
  std::string source;                // the learner's program, absolute path
  std::vector<std::string> options;  // the learner's own compiler options
  std::string work_dir;              // an empty private folder for the compiler's own files
};

// A file to put into the work folder before the compiler runs; its time is
// kept (fpc takes a precompiled unit only while the source's time matches).
struct FileCopy {
  std::string from;
  std::string name;
};

struct Command {
  std::vector<std::string> argv;  // argv[0] is looked up in PATH
  std::vector<std::string> env;   // NAME=value, added to the environment
  std::string dir;                // the compiler's working folder
  std::vector<FileCopy> copies;   // into Request::work_dir, by prepare()
  std::string executable;         // the program it makes, beside the source
  bool precompiled_unit = false;  // the Pascal unit is not compiled again
};

// The command for `request`. `german_messages` is the message file to give
// fpc (empty: fpc's own language); a learner's -Fr... wins over it.
Command compile_command(const Request& request, const Layout& layout, const Compilers& compilers,
                        const std::string& german_messages);

// Whether the precompiled unit in `unit_dir` was made by the configured fpc
// and may be offered to it (fpc still compiles the source beside it when the
// unit does not fit).
bool precompiled_unit_fits(const std::string& unit_dir, const Compilers& compilers);

// Copies command.copies into work_dir; on failure the reason in *error.
bool prepare(const Command& command, const std::string& work_dir, std::string* error);

// fpc's German message file: the configured one while it exists and `fpc`
// is the configured compiler, otherwise asked of `fpc` (-PB, -iV), which
// starts it twice. Empty when there is none.
std::string german_messages(const Compilers& compilers);

// The file PATH names for `command` (a name with a slash is taken as it
// is); empty when there is none.
std::string command_path(const std::string& command);

}  // namespace zeko::compile
