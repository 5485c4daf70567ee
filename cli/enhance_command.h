// comamodel enhance: one of the coma enhancements comet imagers compare, run
// on one frame and written as single-precision FITS with its parameters in
// the header.
#pragma once

#include <optional>
#include <string>

struct EnhanceOptions {
  std::string input;
  std::string method;
  std::optional<std::string> center;      // "X,Y", real numbers
  std::optional<std::string> center_sky;  // "RA,DEC"
  std::optional<std::string> refine;      // the box side; "" for the default
  std::string output;
  // Method options, empty unless given; each belongs to one method.
  std::optional<std::string> rho_min;             // rho
  std::optional<std::string> dtheta, drho;        // larson-sekanina
  std::optional<std::string> rvsf;                // rvsf: "A,B,N"
  std::optional<std::string> radius, statistic;   // azimuthal
  std::optional<std::string> sigma, output_kind;  // azimuthal
  std::optional<std::string> preview, hdu;
  bool force = false;
};

// The methods' names and their references, for --help.
extern const char* const kEnhanceMethodsHelp;

// Checks the options, runs the method and writes the outputs together, or
// throws ToolError having written nothing.
void RunEnhance(const EnhanceOptions& options);
