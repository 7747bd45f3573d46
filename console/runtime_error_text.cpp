#include "runtime_error_text.h"

namespace console {
namespace {

struct Meaning {
  int number;
  const char* text;
};

// The numbers of Free Pascal's run-time library that a learner's program
// meets: its files and input (2 to 106), then arithmetic, memory and checks.
constexpr Meaning kMeanings[] = {
    {2, "Datei nicht gefunden"},
    {3, "Ordner nicht gefunden"},
    {4, "zu viele offene Dateien"},
    {5, "Zugriff verweigert"},
    {6, "ungueltige Dateinummer"},
    {12, "ungueltige Art, die Datei zu oeffnen"},
    {15, "ungueltiges Laufwerk"},
    {16, "der aktuelle Ordner laesst sich nicht loeschen"},
    {17, "Umbenennen ueber Laufwerke hinweg geht nicht"},
    {100, "Lesefehler (Ende der Datei erreicht?)"},
    {101, "Schreibfehler (Speicher voll?)"},
    {102, "der Datei ist kein Name zugeordnet (assign fehlt)"},
    {103, "die Datei ist nicht geoeffnet"},
    {104, "die Datei ist nicht zum Lesen geoeffnet"},
    {105, "die Datei ist nicht zum Schreiben geoeffnet"},
    {106, "keine gueltige Zahl eingegeben"},
    {200, "Division durch 0"},
    {201, "Wert ausserhalb des erlaubten Bereichs (z. B. ein Index zu gross)"},
    {202, "Stapelueberlauf (Rekursion zu tief?)"},
    {203, "kein Speicher mehr frei"},
    {204, "ungueltiger Zeiger"},
    {205, "Gleitkomma-Ueberlauf (Zahl zu gross)"},
    {206, "Gleitkomma-Unterlauf (Zahl zu klein)"},
    {207, "ungueltige Gleitkomma-Rechnung (z. B. Wurzel aus einer negativen Zahl)"},
    {210, "Objekt nicht initialisiert"},
    {211, "abstrakte Methode aufgerufen"},
    {215, "Ueberlauf bei einer Rechnung (Ergebnis zu gross fuer den Typ)"},
    {216, "Speicherzugriffsfehler (z. B. ein Zeiger auf nil)"},
    {217, "unbehandelte Ausnahme"},
    {219, "ungueltige Typumwandlung"},
    {227, "Zusicherung (assert) nicht erfuellt"},
};

}  // namespace

const char* runtime_error_text(int number) {
  for (const Meaning& m : kMeanings)
    if (m.number == number) return m.text;
  return nullptr;
}

}  // namespace console
