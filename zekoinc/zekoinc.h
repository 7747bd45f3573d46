/* ZEKO for C and C++ learner programs.
 *
 *   #include "zekoinc.h"
 *   int main(void) {
 *     initialisiere_die_roboterwelt("welt1.zko");
 *     while (vorne_frei()) vor();
 *     warte();
 *     return 0;
 *   }
 *
 * Link with -lzekoinc (zekoc prog.c does all of it). The console starts
 * when the library is loaded and is restored at every end of the program.
 * Every name also exists in capitals (VOR, LINKS, ...).
 *
 * The commands are macros that also hand over the file and line of each
 * call, so that a failed command, Ctrl-C and ZEKO_ZEILE name the learner's
 * line ("prog.c, Zeile 7: vor - ..."). A program that defines
 * ZEKO_KEINE_ZEILEN before the #include gets the plain functions.
 */
#ifndef ZEKOINC_H
#define ZEKOINC_H

#include <stddef.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

void initialisiere_die_roboterwelt(const char *name);
void vor(void);
void links(void);
void nimm(void);
void gib(void);
bool vorne_frei(void);
bool feld_leer(void);
bool tasche_leer(void);
bool am_anfang(void);
void warte(void);

void INITIALISIERE_DIE_ROBOTERWELT(const char *name);
void VOR(void);
void LINKS(void);
void NIMM(void);
void GIB(void);
bool VORNE_FREI(void);
bool FELD_LEER(void);
bool TASCHE_LEER(void);
bool AM_ANFANG(void);
void WARTE(void);

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

/* Each command first names its place; a function-like macro is not
 * expanded again inside itself, so the second name is the function. */
#ifndef ZEKO_KEINE_ZEILEN
#define ZEKO_AN_DIESER_STELLE_(call) (zeko_call_line(__FILE__, __LINE__), call)
#define initialisiere_die_roboterwelt(name) ZEKO_AN_DIESER_STELLE_(initialisiere_die_roboterwelt(name))
#define vor() ZEKO_AN_DIESER_STELLE_(vor())
#define links() ZEKO_AN_DIESER_STELLE_(links())
#define nimm() ZEKO_AN_DIESER_STELLE_(nimm())
#define gib() ZEKO_AN_DIESER_STELLE_(gib())
#define warte() ZEKO_AN_DIESER_STELLE_(warte())
#define INITIALISIERE_DIE_ROBOTERWELT(name) ZEKO_AN_DIESER_STELLE_(INITIALISIERE_DIE_ROBOTERWELT(name))
#define VOR() ZEKO_AN_DIESER_STELLE_(VOR())
#define LINKS() ZEKO_AN_DIESER_STELLE_(LINKS())
#define NIMM() ZEKO_AN_DIESER_STELLE_(NIMM())
#define GIB() ZEKO_AN_DIESER_STELLE_(GIB())
#define WARTE() ZEKO_AN_DIESER_STELLE_(WARTE())
#endif

#endif
