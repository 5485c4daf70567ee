// Outputs are written all or nothing: each through a temporary file in its own
// folder, renamed into place only once every output has been written in full.
#pragma once

#include <string>
#include <vector>

struct OutputFile {
  std::string option;  // names the output in messages, e.g. "--residual"
  std::string path;
  std::vector<unsigned char> bytes;
};

// Refuses (ToolError, exit 1) an output that names the input, the same file as
// another output, a folder, or an existing file unless `force`. Paths are
// compared as the files they name (symbolic links, "..", hard links).
void CheckOutputPaths(const std::vector<OutputFile>& outputs, const std::string& input, bool force);

// Writes every output's bytes to a temporary file beside it, then renames them
// all into place. On any failure no temporary is left and no output that did
// not exist before is left; without `force` an existing file is never
// replaced, even when it appears after CheckOutputPaths.
void WriteOutputs(const std::vector<OutputFile>& outputs, bool force);
