// The C interface of the library, used by C and C++ learner programs and by
// the Pascal unit.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "call_site.h"
#include "check_mode.h"
#include "console.h"
#include "library.h"
#include "robot.h"
#include "runtime_error.h"
#include "world_argument.h"
#include "zekoinc.h"

namespace {

// Loading the library starts the console, before a C or C++ program's main;
// the Pascal unit calls zeko_start again, which does nothing then.
__attribute__((constructor)) void start_on_load() { zeko::library::start(); }

using zeko::library::CommandCall;
using zeko::rules::Call;

}  // namespace

extern "C" {

void zeko_start(void) { zeko::library::start(); }
void zeko_finish(void) { console::shutdown(); }
void zeko_write(const char* text, size_t length) {
  if (zeko::check_mode::active()) return zeko::check_mode::write_program_text(text, length);
  console::write_text(std::string_view(text, length));
}
__attribute__((force_align_arg_pointer)) void zeko_program_end(long code, int runtime_error) {
  if (zeko::check_mode::active()) zeko::check_mode::program_end(code, runtime_error != 0);
}

// Called at the end of a crash, perhaps on a stack the run-time library left
// unaligned after a signal in C code: aligned again at entry.
__attribute__((force_align_arg_pointer)) void zeko_report_runtime_error(long code, const char* file, int line) {
  std::string place;
  if (file && *file && line > 0) place = std::string(file) + ", Zeile " + std::to_string(line);
  console::report_runtime_error(static_cast<int>(code), place);
}

long zeko_read_line(char* buffer, size_t capacity) {
  bool ended = false;
  std::string line = console::read_line(capacity, &ended);
  if (ended) return -1;
  std::memcpy(buffer, line.data(), line.size());
  return static_cast<long>(line.size());
}

long zeko_read_text(char* buffer, size_t capacity) {
  // The rest of the current line, its #10 included: a line longer than the
  // caller's buffer comes in several pieces instead of losing its end.
  static std::string pending;
  if (pending.empty()) {
    bool ended = false;
    pending = console::read_line(SIZE_MAX, &ended);
    if (ended) return -1;
    pending += '\n';
  }
  size_t n = std::min(capacity, pending.size());
  std::memcpy(buffer, pending.data(), n);
  pending.erase(0, n);
  return static_cast<long>(n);
}

void zeko_call_site(const void* address) { zeko::library::set_next_call_site(address); }
void zeko_set_line_resolver(zeko_line_resolver resolver) { zeko::library::set_line_resolver(resolver); }
void zeko_call_line(const char* file, int line) { zeko::library::set_next_call_line(file, line); }

void initialisiere_die_roboterwelt(const char* name) {
  CommandCall call("initialisiere_die_Roboterwelt");
  zeko::library::INITIALISIERE_DIE_ROBOTERWELT(name ? name : "");
}
void vor(void) {
  CommandCall call("vor");
  zeko::check_mode::call(Call::vor);
  zeko::VOR();
}
void links(void) {
  CommandCall call("links");
  zeko::check_mode::call(Call::links);
  zeko::LINKS();
}
void nimm(void) {
  CommandCall call("nimm");
  zeko::check_mode::call(Call::nimm);
  zeko::NIMM();
}
void gib(void) {
  CommandCall call("gib");
  zeko::check_mode::call(Call::gib);
  zeko::GIB();
}
bool vorne_frei(void) {
  zeko::check_mode::call(Call::vorne_frei);
  return zeko::VORNE_FREI();
}
bool feld_leer(void) {
  zeko::check_mode::call(Call::feld_leer);
  return zeko::FELD_LEER();
}
bool tasche_leer(void) {
  zeko::check_mode::call(Call::tasche_leer);
  return zeko::TASCHE_LEER();
}
bool am_anfang(void) {
  zeko::check_mode::call(Call::am_anfang);
  return zeko::AM_ANFANG();
}
void warte(void) {
  CommandCall call("warte");
  zeko::library::WARTE();
}

void initialisiere_die_Roboterwelt(const char* name) { initialisiere_die_roboterwelt(name); }
void zeko_welt_aus_text(const char* argument) {
  CommandCall call("initialisiere_die_Roboterwelt");
  std::optional<std::string> name = zeko::library::world_name_from_text(argument ? argument : "");
  if (!name)
    console::runtime_error(2, "initialisiere_die_Roboterwelt(" + std::string(argument ? argument : "") +
                                  "): der Name der Welt gehoert in Anfuehrungszeichen, z. B. ('welt1.zko'); "
                                  "einen Namen in einer Variablen nimmt initialisiere_die_roboterwelt(name)");
  zeko::library::INITIALISIERE_DIE_ROBOTERWELT(*name);
}

void INITIALISIERE_DIE_ROBOTERWELT(const char* name) { initialisiere_die_roboterwelt(name); }
void VOR(void) { vor(); }
void LINKS(void) { links(); }
void NIMM(void) { nimm(); }
void GIB(void) { gib(); }
bool VORNE_FREI(void) { return vorne_frei(); }
bool FELD_LEER(void) { return feld_leer(); }
bool TASCHE_LEER(void) { return tasche_leer(); }
bool AM_ANFANG(void) { return am_anfang(); }
void WARTE(void) { warte(); }

}  // extern "C"
