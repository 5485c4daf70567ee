// The centres of a sequence, one row per frame, from a CSV table with a
// header row naming its columns: `file,x,y` (0-based pixel centres) or
// `file,ra,dec` (sky centres). Values stay text, so they are checked by the
// same parsers as --center and --center-sky.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CenterRow {
  std::string file;
  std::string first;   // x or ra
  std::string second;  // y or dec
};

struct CentersTable {
  bool sky = false;  // ra,dec rather than x,y
  std::vector<CenterRow> rows;
};

// Parses the table's text. Blank lines and lines starting with '#' are
// skipped; fields may be quoted with '"' (a doubled quote inside is one
// quote). Throws ToolError naming `name` and the line of any fault.
CentersTable ParseCentersTable(const std::string& text, const std::string& name);

// The row for `frame`: the row whose file is the frame's path as given, or
// else the row whose file is the frame's bare file name; none when neither
// exists. Throws ToolError when the bare name is on more than one row.
std::optional<CenterRow> FindCenterRow(const CentersTable& table, const std::string& frame);
