/* ZEKO for C and C++ learner programs.
 *
 *   #include "zekoinc.h"
 *   int main(void) {
 *     initialisiere_die_Roboterwelt("welt1.zko");
 *     while (vorne_frei()) vor();
 *     warte();
 *     return 0;
 *   }
 *
 * Link with -lzekoinc (zekoc prog.c does all of it). The console starts
 * when the library is loaded and is restored at every end of the program.
 * Every name also exists in capitals (VOR, LINKS, ...), and the world's
 * start in the spelling of the Pascal programs, initialisiere_die_Roboterwelt,
 * which takes the name in Pascal's quotes too: ('welt1.zko').
 *
 * The commands are macros that also hand over the file and line of each
 * call, so that a failed command, Ctrl-C and ZEKO_ZEILE name the learner's
 * line ("prog.c, Zeile 7: vor - ..."). Each is a statement of its own: a
 * missing ";" after one is an error at the learner's line, and a name
 * without its "()" ("vor;") names nothing and is an error too. A program
 * that defines ZEKO_KEINE_ZEILEN before the #include gets the plain
 * functions.
 */
#ifndef ZEKOINC_H
#define ZEKOINC_H

/* Errors inside the macros below are reported at the learner's line, as
 * for the compiler's own headers, not at a line of this file. */
#pragma GCC system_header

#include <stddef.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* With line numbers the functions have names of their own in C (the
 * library's symbols stay the same); the learner's names are the macros
 * below. */
#ifdef ZEKO_KEINE_ZEILEN
#define ZEKO_DEKLARATION_(type, name, params) type name params
#else
#define ZEKO_DEKLARATION_(type, name, params) type zeko_aufruf_##name params __asm__(#name)
#endif

ZEKO_DEKLARATION_(void, initialisiere_die_roboterwelt, (const char *name));
ZEKO_DEKLARATION_(void, initialisiere_die_Roboterwelt, (const char *name));
ZEKO_DEKLARATION_(void, vor, (void));
ZEKO_DEKLARATION_(void, links, (void));
ZEKO_DEKLARATION_(void, nimm, (void));
ZEKO_DEKLARATION_(void, gib, (void));
ZEKO_DEKLARATION_(bool, vorne_frei, (void));
ZEKO_DEKLARATION_(bool, feld_leer, (void));
ZEKO_DEKLARATION_(bool, tasche_leer, (void));
ZEKO_DEKLARATION_(bool, am_anfang, (void));
ZEKO_DEKLARATION_(void, warte, (void));

ZEKO_DEKLARATION_(void, INITIALISIERE_DIE_ROBOTERWELT, (const char *name));
ZEKO_DEKLARATION_(void, VOR, (void));
ZEKO_DEKLARATION_(void, LINKS, (void));
ZEKO_DEKLARATION_(void, NIMM, (void));
ZEKO_DEKLARATION_(void, GIB, (void));
ZEKO_DEKLARATION_(bool, VORNE_FREI, (void));
ZEKO_DEKLARATION_(bool, FELD_LEER, (void));
ZEKO_DEKLARATION_(bool, TASCHE_LEER, (void));
ZEKO_DEKLARATION_(bool, AM_ANFANG, (void));
ZEKO_DEKLARATION_(void, WARTE, (void));

/* initialisiere_die_Roboterwelt('welt1.zko') as a Pascal program writes it:
 * the argument's text as the compiler read it, a name in ' or " quotes. */
void zeko_welt_aus_text(const char *argument);

/* The console underneath, for language bindings (the Pascal unit's text
 * files go through these). */
void zeko_start(void);
void zeko_finish(void);
void zeko_write(const char *text, size_t length);
/* One line of keyboard input with echo and Backspace; the bytes without the
 * line end (at most capacity), or -1 when input has ended. */
long zeko_read_line(char *buffer, size_t capacity);
/* The same input for a text-file driver: the next at most capacity bytes of
 * the current line, its end given as #10; a long line comes in several
 * pieces. -1 when input has ended. */
long zeko_read_text(char *buffer, size_t capacity);
/* The end of a program as its language run-time sees it: the exit code, and
 * whether it is a run-time error. Only zekocheck's check mode records it. */
void zeko_program_end(long code, int runtime_error);
/* The report of a run-time error of the language's run-time library, in
 * German, with the learner's file and line when known (file NULL or line
 * 0: not known); the console is shut down first. */
void zeko_report_runtime_error(long code, const char *file, int line);

/* Where the next robot command is called from: a return address in the
 * caller's code, which the library only stores. When a command fails or
 * Ctrl-C ends the program, the resolver turns it into the source file's
 * name and the line (1-based); it returns nonzero when it found them, must
 * not allocate, and may be called inside a signal handler. Without both
 * the report on standard error names no place. */
typedef int (*zeko_line_resolver)(const void *address, char *file, size_t capacity, int *line);
void zeko_call_site(const void *address);
void zeko_set_line_resolver(zeko_line_resolver resolver);
/* The same for C and C++: the next robot command is called from this file
 * and line (1-based); `file` must stay valid (a string literal). */
void zeko_call_line(const char *file, int line);

#ifdef __cplusplus
}
#endif

/* Each command first names its place, as a statement of its own. */
#ifndef ZEKO_KEINE_ZEILEN
#define ZEKO_AN_DIESER_STELLE_(call) \
  do {                               \
    zeko_call_line(__FILE__, __LINE__); \
    call;                            \
  } while (0)
#define initialisiere_die_roboterwelt(name) ZEKO_AN_DIESER_STELLE_(zeko_aufruf_initialisiere_die_roboterwelt(name))
#define initialisiere_die_Roboterwelt(name) ZEKO_AN_DIESER_STELLE_(zeko_welt_aus_text(#name))
#define vor() ZEKO_AN_DIESER_STELLE_(zeko_aufruf_vor())
#define links() ZEKO_AN_DIESER_STELLE_(zeko_aufruf_links())
#define nimm() ZEKO_AN_DIESER_STELLE_(zeko_aufruf_nimm())
#define gib() ZEKO_AN_DIESER_STELLE_(zeko_aufruf_gib())
#define warte() ZEKO_AN_DIESER_STELLE_(zeko_aufruf_warte())
#define vorne_frei() zeko_aufruf_vorne_frei()
#define feld_leer() zeko_aufruf_feld_leer()
#define tasche_leer() zeko_aufruf_tasche_leer()
#define am_anfang() zeko_aufruf_am_anfang()
#define INITIALISIERE_DIE_ROBOTERWELT(name) ZEKO_AN_DIESER_STELLE_(zeko_aufruf_INITIALISIERE_DIE_ROBOTERWELT(name))
#define VOR() ZEKO_AN_DIESER_STELLE_(zeko_aufruf_VOR())
#define LINKS() ZEKO_AN_DIESER_STELLE_(zeko_aufruf_LINKS())
#define NIMM() ZEKO_AN_DIESER_STELLE_(zeko_aufruf_NIMM())
#define GIB() ZEKO_AN_DIESER_STELLE_(zeko_aufruf_GIB())
#define WARTE() ZEKO_AN_DIESER_STELLE_(zeko_aufruf_WARTE())
#define VORNE_FREI() zeko_aufruf_VORNE_FREI()
#define FELD_LEER() zeko_aufruf_FELD_LEER()
#define TASCHE_LEER() zeko_aufruf_TASCHE_LEER()
#define AM_ANFANG() zeko_aufruf_AM_ANFANG()
#endif

#endif
