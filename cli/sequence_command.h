// comamodel sequence: the model of many frames in one call, each frame's
// outputs exactly what `comamodel model` writes for it, frames run in
// parallel, centres given once, per frame from a table, or tracked from
// frame to frame.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct SequenceOptions {
  std::vector<std::string> frames;  // none: the files of the centres table
  std::string outdir;
  std::optional<std::string> center;      // "X,Y"
  std::optional<std::string> center_sky;  // "RA,DEC"
  std::optional<std::string> centers;     // the centres table
  std::optional<std::string> refine;      // the box side; "" for the default
  bool track = false;
  std::string radius;
  std::string peak = "0";
  std::string outputs = "model,residual";
  std::optional<std::string> jobs;  // default: the number of cores
  std::optional<std::string> log;
  bool preview_full = false;
  bool force = false;
};

// Throws ToolError for a bad command line or a run that cannot start (the
// outdir, the centres table, the log); then runs every frame, naming each
// failed one on stderr, and returns the exit status: 1 when any frame failed.
// Nothing goes to stdout: the log is the record of each frame.
int RunSequence(const SequenceOptions& options);

// The name a frame's outputs start with: its file name without a FITS
// extension (.fits, .fit, .fts, any case) and a compression suffix (.gz, .fz).
std::string FrameStem(const std::string& path);
