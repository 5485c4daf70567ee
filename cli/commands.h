// The tool's three subcommands. Option values arrive as the text the user
// typed; each command checks them, does its job and throws ToolError on any
// failure, having written no output.
#pragma once

#include <optional>
#include <ostream>
#include <string>

struct ModelOptions {
  std::string input;
  std::optional<std::string> center;      // "X,Y"
  std::optional<std::string> center_sky;  // "RA,DEC"
  std::optional<std::string> refine;      // the box side; "" for the default
  std::string radius;
  std::string peak = "0";
  std::string output;
  std::optional<std::string> residual, ratio, profile, preview, plot, hdu;
  bool preview_full = false;
  bool force = false;
};

struct SampleOptions {
  std::string output;
  std::string size = "1024x768";
  std::string seed = "1";
  bool force = false;
};

struct ConvertOptions {
  std::string input;
  std::string output;
  std::optional<std::string> hdu;
  bool force = false;
};

// Prints a summary of the run on `out` once the files are written, and
// warnings about a doubtful result on `err`.
void RunModel(const ModelOptions& options, std::ostream& out, std::ostream& err);
// Prints "center X,Y" on `out` once the image is written.
void RunSample(const SampleOptions& options, std::ostream& out);
void RunConvert(const ConvertOptions& options);

// The tool's name and version, recorded in the outputs' headers.
const char* ToolVersion();
