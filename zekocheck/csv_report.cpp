#include "csv_report.h"

#include "atomic_file.h"
#include "grades.h"

namespace zekocheck {

std::string csv_field(const std::string& raw) {
  std::string text = printable(raw);
  for (char& c : text)
    if (c == '\n' || c == '\t') c = ' ';
  if (!raw.empty() && std::string("=+-@\t\r\n").find(raw[0]) != std::string::npos) text.insert(0, "'");
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

namespace {

std::string row_text(const CsvRow& row) {
  std::vector<std::string> fields = {row.name, row.task};
  if (!row.checked) {
    fields.insert(fields.end(), {"0", std::to_string(row.worlds), "nicht abgegeben", "", ""});
  } else {
    const Verdict& v = row.checked->verdict;
    std::string note = copy_text(*row.checked->program);
    if (row.checked->program->without_sandbox) note += (note.empty() ? "" : ", ") + std::string("ohne Sandbox gelaufen");
    fields.insert(fields.end(), {std::to_string(v.worlds_passed), std::to_string(v.worlds),
                                 v.passed ? "bestanden" : "nicht bestanden", v.reason, note});
  }
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) line += (i ? ";" : "") + csv_field(fields[i]);
  return line + "\r\n";
}

}  // namespace

std::string csv_text(const std::vector<CsvRow>& rows) {
  std::string text = "\xEF\xBB\xBF";
  const char* const header[] = {"Name", "Aufgabe", "Welten bestanden", "Welten", "Ergebnis", "Grund", "Hinweis"};
  for (std::size_t i = 0; i < std::size(header); ++i) text += (i ? ";" : "") + csv_field(header[i]);
  text += "\r\n";
  for (const CsvRow& row : rows) text += row_text(row);
  return text;
}

bool write_csv(const std::string& path, const std::vector<CsvRow>& rows, std::string& error) {
  return write_file_atomically(path, csv_text(rows), error);
}

}  // namespace zekocheck
