// The outputs of one run of the tool: each checked and opened before the work
// (so a refused output costs nothing), written as the work goes, and all put
// in place together at the end, or none of them.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "files/output_set.h"

class RunOutputs {
 public:
  // `input` is the file the run reads ("" for none); `force` allows replacing
  // existing files.
  RunOutputs(std::string input, bool force);

  // Refuses (ToolError, exit 1) an output that names the input or the same
  // file as an output added before (even with `force`), a folder, or an
  // existing file without `force`. Paths are compared as the files they name
  // (symbolic links, "..", hard links). `option` names the output in messages.
  files::Output& Add(const std::string& option, const std::string& path);
  // The same for an optional output; nullptr when it is not asked for.
  files::Output* AddIf(const std::string& option, const std::optional<std::string>& path);

  // Puts every output in place; on failure none has changed (ToolError).
  void Commit();

 private:
  std::string input_;
  bool force_;
  std::vector<std::pair<std::string, std::string>> added_;  // option, path
  files::OutputSet set_;
};

// Refuses (ToolError, exit 1) an input that is missing, unreadable, a folder,
// or not a regular file: a FIFO, socket or device is never waited on.
void RequireInputFile(const std::string& path);
