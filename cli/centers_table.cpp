#include "centers_table.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "tool_error.h"

namespace {

std::string Trim(const std::string& text) {
  const auto space = [](unsigned char c) { return std::isspace(c) != 0; };
  const auto first = std::find_if_not(text.begin(), text.end(), space);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), space).base();
  return first < last ? std::string(first, last) : std::string();
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Splits one CSV line into fields; false for an unterminated quote.
bool SplitFields(const std::string& line, std::vector<std::string>& fields) {
  fields.clear();
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.push_back(Trim(field));
      field.clear();
    } else {
      field += c;
    }
  }
  fields.push_back(Trim(field));
  return !quoted;
}

}  // namespace

CentersTable ParseCentersTable(const std::string& text, const std::string& name) {
  CentersTable table;
  bool have_header = false;
  std::vector<std::string> fields;
  std::size_t line_number = 0;
  // A byte order mark, as spreadsheets write before the header, is no part
  // of the first column's name.
  std::size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;

    const std::string where = name + " line " + std::to_string(line_number);
    if (!SplitFields(line, fields)) throw DataError(where + ": unterminated quote");
    if (!have_header) {
      std::vector<std::string> columns;
      for (const auto& f : fields) columns.push_back(Lower(f));
      if (columns == std::vector<std::string>{"file", "x", "y"}) {
        table.sky = false;
      } else if (columns == std::vector<std::string>{"file", "ra", "dec"}) {
        table.sky = true;
      } else {
        throw DataError(where + ": the header must be file,x,y or file,ra,dec");
      }
      have_header = true;
      continue;
    }
    if (fields.size() != 3 || fields[0].empty()) {
      throw DataError(where + ": expected 3 fields (file and two coordinates)");
    }
    table.rows.push_back({fields[0], fields[1], fields[2]});
  }
  if (!have_header) throw DataError(name + ": no header row (file,x,y or file,ra,dec)");
  return table;
}

std::optional<CenterRow> FindCenterRow(const CentersTable& table, const std::string& frame) {
  for (const CenterRow& row : table.rows) {
    if (row.file == frame) return row;
  }
  const std::string base = std::filesystem::path(frame).filename().string();
  std::optional<CenterRow> found;
  for (const CenterRow& row : table.rows) {
    // A bare file name matches the frame of that name in any folder.
    if (row.file != base) continue;
    if (found) throw DataError("the centres table has more than one row for " + base);
    found = row;
  }
  return found;
}
