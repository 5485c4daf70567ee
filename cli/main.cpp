// comamodel: the coma model engine on FITS images, for processing sequences of
// frames outside the host application.
#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

#include "commands.h"
#include "enhance_command.h"
#include "sequence_command.h"
#include "tool_error.h"

namespace {

// One line on stderr for every failure, so a script's log stays readable.
int Fail(int exit_code, std::string message) {
  for (char& c : message) {
    if (c == '\n') c = ' ';
  }
  std::cerr << "comamodel: " << message << '\n';
  return exit_code;
}

constexpr const char* kCenterSkyHelp =
    "Coma centre on the sky, through the input's WCS: degrees, or RA in hours and Dec in "
    "degrees as h:m:s,d:m:s";

// Binds an option whose presence matters: the optional stays empty unless
// the option is given.
CLI::Option* AddOptional(CLI::App* app, const std::string& name, std::optional<std::string>& target,
                         const std::string& help, const std::string& value_name) {
  return app
      ->add_option_function<std::string>(
          name, [&target](const std::string& value) { target = value; }, help)
      ->type_name(value_name);
}

// CLI11 checks required options before it reports an unknown one, so a
// misspelt --centre would be reported as a missing --center. Long options
// are looked up first, in the subcommand given or in the tool's own.
std::string UnknownOption(CLI::App& app, int argc, char** argv) {
  CLI::App* command = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") break;
    if (command == nullptr && arg[0] != '-') {
      for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
        if (sub->get_name() == arg) command = sub;
      }
      continue;
    }
    if (arg.rfind("--", 0) != 0) continue;
    const std::string name = arg.substr(0, arg.find('='));
    const CLI::App* scope = command ? command : &app;
    if (scope->get_option_no_throw(name) == nullptr && app.get_option_no_throw(name) == nullptr) {
      return name;
    }
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "comamodel: a circular model of a comet's coma from the median brightness of "
      "each ring around its centre.",
      "comamodel"};
  app.require_subcommand(1);
  app.set_version_flag("--version", ToolVersion());
  app.footer(
      "Exit status: 0 success, 1 a file or its data (missing or non-FITS input, no 2-D image,\n"
      "an output that exists or names the input), 2 a bad command line.");

  ModelOptions model;
  CLI::App* model_cmd = app.add_subcommand("model", "Render the coma model of an image");
  model_cmd->add_option("INPUT", model.input, "FITS image, or a raw .f32 image of the host")
      ->required()
      ->type_name("INPUT.fits");
  AddOptional(model_cmd, "--center", model.center,
              "Coma centre: X is the 0-based column, Y the 0-based row (the sample at "
              "index X + Y*W of the row-major samples)",
              "X,Y");
  AddOptional(model_cmd, "--center-sky", model.center_sky, kCenterSkyHelp, "RA,DEC");
  AddOptional(model_cmd, "--refine", model.refine,
              "Centre on the nucleus near the given point: the brightest pixel in a BOX x BOX "
              "box (default 11), then its centroid above the local background",
              "[=BOX]")
      ->expected(0, 1);
  model_cmd->add_option("--radius", model.radius, "Model radius R in pixels, at most 39999")
      ->required()
      ->type_name("R");
  model_cmd->add_option("--peak", model.peak, "Value V given to the centre pixel (default 0)")
      ->type_name("V");
  model_cmd->add_option("-o,--output", model.output, "Model image to write (FITS, BITPIX -32)")
      ->required()
      ->type_name("MODEL.fits");
  AddOptional(model_cmd, "--residual", model.residual, "Also write source - model (FITS)",
              "FILE.fits");
  AddOptional(model_cmd, "--ratio", model.ratio,
              "Also write source / model (FITS; NaN where the model is 0)", "FILE.fits");
  AddOptional(model_cmd, "--profile", model.profile,
              "Also write the profile: radius, ring median, member count (CSV)", "FILE.csv");
  AddOptional(model_cmd, "--preview", model.preview,
              "Also write frame | model | residual | ratio around the nucleus (PNG)", "FILE.png");
  model_cmd->add_flag("--preview-full", model.preview_full, "The preview shows the whole frame");
  AddOptional(model_cmd, "--plot", model.plot,
              "Also write a log-log plot of the profile with a 1/rho line (PNG)", "FILE.png");
  AddOptional(model_cmd, "--hdu", model.hdu,
              "Read HDU N (0 = primary) instead of the first 2-D image", "N");
  model_cmd->add_flag("--force", model.force, "Replace outputs that exist");
  model_cmd->footer(
      "Coordinates are 0-based: X counts columns and Y rows from the first sample, as in\n"
      "the plug-in (DS9 shows them 1-based). All outputs are written together or not at all.");

  SequenceOptions sequence;
  CLI::App* sequence_cmd = app.add_subcommand(
      "sequence", "Render the coma model of many frames, in parallel, into one folder");
  sequence_cmd
      ->add_option("FRAME", sequence.frames,
                   "FITS images (or raw .f32); none with --centers: the table's files")
      ->type_name("FRAME.fits");
  sequence_cmd
      ->add_option("--outdir", sequence.outdir, "Existing folder for DIR/STEM-model.fits etc.")
      ->required()
      ->type_name("DIR");
  AddOptional(sequence_cmd, "--center", sequence.center,
              "One coma centre for every frame, 0-based column and row", "X,Y");
  AddOptional(sequence_cmd, "--center-sky", sequence.center_sky,
              "One coma centre on the sky for every frame, through each frame's WCS", "RA,DEC");
  AddOptional(sequence_cmd, "--centers", sequence.centers,
              "A centre per frame: CSV with a header row file,x,y or file,ra,dec ('-': stdin)",
              "FILE.csv");
  AddOptional(sequence_cmd, "--refine", sequence.refine,
              "Centre each frame on the nucleus near its centre, in a BOX x BOX box (default 11)",
              "[=BOX]")
      ->expected(0, 1);
  sequence_cmd->add_flag("--track", sequence.track,
                         "Start each frame's --refine from the previous frame's centroid, "
                         "frames in the order given");
  sequence_cmd->add_option("--radius", sequence.radius, "Model radius R in pixels, at most 39999")
      ->required()
      ->type_name("R");
  sequence_cmd->add_option("--peak", sequence.peak, "Value V given to the centre pixel (default 0)")
      ->type_name("V");
  sequence_cmd
      ->add_option("--outputs", sequence.outputs,
                   "Any of model,residual,ratio,profile,preview,plot (default model,residual)")
      ->type_name("LIST");
  AddOptional(sequence_cmd, "--jobs", sequence.jobs, "Frames run at once (default: the cores)",
              "N");
  AddOptional(sequence_cmd, "--log", sequence.log,
              "Write a row per frame: centre, centroid, R, seconds, status, message (CSV)",
              "FILE.csv");
  sequence_cmd->add_flag("--preview-full", sequence.preview_full,
                         "The previews show the whole frame");
  sequence_cmd->add_flag("--force", sequence.force, "Replace outputs that exist");
  sequence_cmd->footer(
      "Each frame's outputs are what 'comamodel model' writes for it, written together or not\n"
      "at all. A frame that fails is named on stderr and in the log; the others go on, and the\n"
      "exit status is 1.");

  SampleOptions sample;
  CLI::App* sample_cmd = app.add_subcommand(
      "sample", "Write a synthetic comet image and print its centre as 'center X,Y'");
  sample_cmd->add_option("OUTPUT", sample.output, "FITS image to write")
      ->required()
      ->type_name("OUTPUT.fits");
  sample_cmd->add_option("--size", sample.size, "Image size (default 1024x768)")->type_name("WxH");
  sample_cmd->add_option("--seed", sample.seed, "Seed of the stars and noise (default 1)")
      ->type_name("N");
  sample_cmd->add_flag("--force", sample.force, "Replace the output if it exists");

  ConvertOptions convert;
  CLI::App* convert_cmd = app.add_subcommand(
      "convert", "Convert FITS to the host's raw .f32 image or back (by OUTPUT's extension)");
  convert_cmd->add_option("INPUT", convert.input, "FITS or raw image")->required()->type_name("");
  convert_cmd->add_option("OUTPUT", convert.output, ".fits/.fit/.fts or .f32")
      ->required()
      ->type_name("");
  AddOptional(convert_cmd, "--hdu", convert.hdu,
              "Read HDU N (0 = primary) instead of the first 2-D image", "N");
  convert_cmd->add_flag("--force", convert.force, "Replace the output if it exists");

  EnhanceOptions enhance;
  CLI::App* enhance_cmd = app.add_subcommand(
      "enhance", "Bring out jets and shells with one of the standard coma enhancements");
  enhance_cmd->add_option("INPUT", enhance.input, "FITS image, or a raw .f32 image of the host")
      ->required()
      ->type_name("INPUT.fits");
  enhance_cmd->add_option("--method", enhance.method, "rho, larson-sekanina, rvsf or azimuthal")
      ->required()
      ->type_name("NAME");
  AddOptional(enhance_cmd, "--center", enhance.center,
              "Coma centre, 0-based column and row; real numbers (sub-pixel)", "X,Y");
  AddOptional(enhance_cmd, "--center-sky", enhance.center_sky, kCenterSkyHelp, "RA,DEC");
  AddOptional(enhance_cmd, "--refine", enhance.refine,
              "Centre on the nucleus near the given point (its sub-pixel centroid is used): the "
              "brightest pixel in a BOX x BOX box (default 11), then its centroid above the local "
              "background",
              "[=BOX]")
      ->expected(0, 1);
  enhance_cmd->add_option("-o,--output", enhance.output, "Image to write (FITS, BITPIX -32)")
      ->required()
      ->type_name("OUT.fits");
  AddOptional(enhance_cmd, "--rho-min", enhance.rho_min, "rho: smallest rho used (default 1)",
              "PX");
  AddOptional(enhance_cmd, "--dtheta", enhance.dtheta, "larson-sekanina: rotation (required)",
              "DEG");
  AddOptional(enhance_cmd, "--drho", enhance.drho, "larson-sekanina: radial shift (default 0)",
              "PX");
  AddOptional(enhance_cmd, "--rvsf", enhance.rvsf, "rvsf: kernel size A + B*rho^N (required)",
              "A,B,N");
  AddOptional(enhance_cmd, "--radius", enhance.radius, "azimuthal: model radius (required)", "R");
  AddOptional(enhance_cmd, "--statistic", enhance.statistic,
              "azimuthal: median, mean or sigma-clip (default median)", "S");
  AddOptional(enhance_cmd, "--sigma", enhance.sigma, "azimuthal sigma-clip: bound (default 3)",
              "K");
  AddOptional(enhance_cmd, "--as", enhance.output_kind,
              "azimuthal: write ratio, residual or model (default ratio)", "KIND");
  AddOptional(enhance_cmd, "--preview", enhance.preview,
              "Also write the result, asinh stretched (PNG)", "FILE.png");
  AddOptional(enhance_cmd, "--hdu", enhance.hdu,
              "Read HDU N (0 = primary) instead of the first 2-D image", "N");
  enhance_cmd->add_flag("--force", enhance.force, "Replace outputs that exist");
  enhance_cmd->footer(kEnhanceMethodsHelp);

  // Left to CLI11, an unknown subcommand would only be reported as a missing one.
  if (argc > 1 && argv[1][0] != '-') {
    const std::string name = argv[1];
    if (name != "model" && name != "sequence" && name != "sample" && name != "convert" &&
        name != "enhance") {
      return Fail(kExitUsage, "unknown subcommand '" + name +
                                  "' (use model, sequence, enhance, sample or convert)");
    }
  }
  if (const std::string unknown = UnknownOption(app, argc, argv); !unknown.empty()) {
    return Fail(kExitUsage, "unknown option '" + unknown + "' (see comamodel --help)");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return Fail(kExitUsage, std::string(e.what()) + " (see comamodel --help)");
  }

  try {
    if (*model_cmd) RunModel(model, std::cout, std::cerr);
    if (*sequence_cmd) return RunSequence(sequence);
    if (*sample_cmd) RunSample(sample, std::cout);
    if (*convert_cmd) RunConvert(convert);
    if (*enhance_cmd) RunEnhance(enhance);
  } catch (const ToolError& e) {
    return Fail(e.exit_code(), e.what());
  } catch (const std::bad_alloc&) {
    return Fail(kExitData, "out of memory");
  } catch (const std::exception& e) {
    return Fail(kExitData, e.what());
  }
  return 0;
}
