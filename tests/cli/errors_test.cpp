// Every refusal: the exit status (2 for the command line, 1 for files and
// data), one line on stderr naming the problem, no file created, changed or
// left behind (temporaries included), and the input untouched.
#include <fitsio.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "tool_support.h"

namespace {

namespace fs = std::filesystem;

struct ErrorCase {
  const char* name;
  // Files the case needs, made in the scratch folder before the run.
  std::function<void(const ScratchDir&)> setup;
  // Arguments; "@name" stands for the path of `name` in the scratch folder.
  std::vector<std::string> args;
  int exit_code;
  const char* message;
};

Image Frame() {
  Image image{9, 7, std::vector<float>(63)};
  for (std::size_t i = 0; i < image.samples.size(); ++i) image.samples[i] = float(i);
  return image;
}

void InputFits(const ScratchDir& s) { WriteFitsImage(s.Path("in.fits"), Frame()); }

void InputRaw(const ScratchDir& s) {
  InputFits(s);
  ASSERT_EQ(RunTool({"convert", s.Path("in.fits"), s.Path("in.f32")}).exit_code, 0);
}

std::vector<std::string> Model(std::vector<std::string> extra) {
  std::vector<std::string> args = {"model",    "@in.fits", "--center", "4,3",
                                   "--radius", "3",        "-o",       "@m.fits"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

// Replaces the value that follows `option` in the standard model command.
std::vector<std::string> ModelWith(const std::string& option, const std::string& value) {
  std::vector<std::string> args = Model({});
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == option) args[i + 1] = value;
  }
  return args;
}

// comamodel enhance on in.fits; a later --center or -o replaces the first.
std::vector<std::string> Enhance(std::vector<std::string> extra) {
  std::vector<std::string> args = {"enhance", "@in.fits", "--center", "4,3", "-o", "@e.fits"};
  for (std::size_t i = 0; i + 1 < extra.size(); ++i) {
    for (std::size_t k = 2; k + 1 < args.size(); k += 2) {
      if (args[k] == extra[i]) {
        args[k + 1] = extra[i + 1];
        extra.erase(extra.begin() + static_cast<std::ptrdiff_t>(i),
                    extra.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        i = static_cast<std::size_t>(-1);
        break;
      }
    }
  }
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

std::vector<ErrorCase> Cases() {
  const auto none = [](const ScratchDir&) {};
  return {
      // The command line.
      {"no_subcommand", none, {}, 2, "subcommand is required"},
      {"unknown_subcommand", InputFits, {"paint", "@in.fits"}, 2, "unknown subcommand 'paint'"},
      {"unknown_option", InputFits, Model({"--colour", "red"}), 2, "--colour"},
      {"missing_radius",
       InputFits,
       {"model", "@in.fits", "--center", "4,3", "-o", "@m.fits"},
       2,
       "--radius is required"},
      {"missing_output",
       InputFits,
       {"model", "@in.fits", "--center", "4,3", "--radius", "3"},
       2,
       "--output is required"},
      {"radius_not_a_number", InputFits, ModelWith("--radius", "ten"), 2, "--radius: 'ten'"},
      {"radius_with_fraction", InputFits, ModelWith("--radius", "3.5"), 2, "--radius: '3.5'"},
      {"radius_hexadecimal", InputFits, ModelWith("--radius", "0x10"), 2, "--radius: '0x10'"},
      {"radius_overflows_32_bits", InputFits, ModelWith("--radius", "4294967299"), 2,
       "--radius: '4294967299'"},
      {"radius_beyond_profile", InputFits, ModelWith("--radius", "40000"), 2, "39999"},
      {"center_one_number", InputFits, ModelWith("--center", "4"), 2, "--center: '4'"},
      {"center_three_numbers", InputFits, ModelWith("--center", "4,3,2"), 2, "--center: '4,3,2'"},
      {"center_not_numbers", InputFits, ModelWith("--center", "4,y"), 2, "--center: '4,y'"},
      {"center_empty_part", InputFits, ModelWith("--center", ",3"), 2, "--center: ',3'"},
      {"peak_not_a_number", InputFits, Model({"--peak", "1.5x"}), 2, "--peak: '1.5x'"},
      {"misspelt_option",
       InputFits,
       {"model", "@in.fits", "--centre", "4,3", "--radius", "3", "-o", "@m.fits"},
       2,
       "unknown option '--centre'"},
      {"hdu_negative", InputFits, Model({"--hdu=-1"}), 2, "--hdu: '-1'"},
      {"hdu_for_raw_input",
       InputRaw,
       {"model", "@in.f32", "--center", "4,3", "--radius", "3", "-o", "@m.fits", "--hdu", "0"},
       2,
       "--hdu applies to FITS input only"},
      {"sample_bad_size", none, {"sample", "@s.fits", "--size", "640"}, 2, "--size: '640'"},
      {"sample_zero_size", none, {"sample", "@s.fits", "--size", "0x10"}, 2, "--size: '0x10'"},
      {"sample_huge_size", none, {"sample", "@s.fits", "--size", "100000x10"}, 2, "--size"},
      {"sample_bad_seed", none, {"sample", "@s.fits", "--seed", "-1"}, 2, "--seed: '-1'"},
      {"convert_unknown_extension",
       InputFits,
       {"convert", "@in.fits", "@out.png"},
       2,
       "from its extension"},

      {"enhance_unknown_method", InputFits, Enhance({"--method", "unsharp"}), 2,
       "--method: 'unsharp'"},
      {"enhance_center_not_real", InputFits, Enhance({"--method", "rho", "--center", "4,1e"}), 2,
       "--center: '4,1e'"},
      {"enhance_center_not_finite", InputFits, Enhance({"--method", "rho", "--center", "inf,3"}), 2,
       "--center: 'inf,3'"},
      {"enhance_dtheta_missing", InputFits, Enhance({"--method", "larson-sekanina"}), 2,
       "needs --dtheta"},
      {"enhance_option_of_another_method", InputFits,
       Enhance({"--method", "rho", "--dtheta", "10"}), 2,
       "--dtheta applies to --method larson-sekanina only"},
      {"enhance_drho_negative", InputFits,
       Enhance({"--method", "larson-sekanina", "--dtheta", "10", "--drho", "-1"}), 2,
       "--drho: '-1'"},
      {"enhance_rvsf_two_numbers", InputFits, Enhance({"--method", "rvsf", "--rvsf", "3,1"}), 2,
       "--rvsf: '3,1'"},
      {"enhance_rvsf_shrinking", InputFits, Enhance({"--method", "rvsf", "--rvsf", "3,-1,1"}), 2,
       "negative B or N"},
      {"enhance_radius_missing", InputFits, Enhance({"--method", "azimuthal"}), 2,
       "needs --radius"},
      {"enhance_radius_zero", InputFits, Enhance({"--method", "azimuthal", "--radius", "0"}), 2,
       "--radius: '0'"},
      {"enhance_unknown_statistic", InputFits,
       Enhance({"--method", "azimuthal", "--radius", "3", "--statistic", "mode"}), 2,
       "--statistic: 'mode'"},
      {"enhance_sigma_without_clipping", InputFits,
       Enhance({"--method", "azimuthal", "--radius", "3", "--sigma", "2"}), 2,
       "--sigma applies to --statistic sigma-clip only"},
      {"enhance_sigma_zero", InputFits,
       Enhance(
           {"--method", "azimuthal", "--radius", "3", "--statistic", "sigma-clip", "--sigma", "0"}),
       2, "--sigma: '0'"},
      {"enhance_unknown_output", InputFits,
       Enhance({"--method", "azimuthal", "--radius", "3", "--as", "difference"}), 2,
       "--as: 'difference'"},
      {"enhance_output_is_input", InputFits, Enhance({"--method", "rho", "-o", "@in.fits"}), 1,
       "is the input file"},
      {"enhance_input_missing", none, Enhance({"--method", "rho"}), 1, "cannot open"},
      {"enhance_later_output_folder_missing", InputFits,
       Enhance({"--method", "rho", "--preview", "@nowhere/p.png"}), 1, "cannot write"},

      // The input.
      {"input_missing", none, Model({}), 1, "cannot open"},
      {"input_is_folder", [](const ScratchDir& s) { fs::create_directory(s.Path("in.fits")); },
       Model({}), 1, "is a folder"},
      {"input_not_fits", [](const ScratchDir& s) { WriteBytes(s.Path("in.fits"), "x,y\n1,2\n"); },
       Model({}), 1, "is not a FITS file"},
      {"input_truncated",
       [](const ScratchDir& s) {
         WriteFitsImage(s.Path("big.fits"), Image{300, 200, std::vector<float>(60000, 1.0f)});
         const std::string bytes = ReadBytes(s.Path("big.fits"));
         WriteBytes(s.Path("in.fits"), bytes.substr(0, bytes.size() / 2));
         fs::remove(s.Path("big.fits"));
       },
       Model({}), 1, "in.fits"},
      // Refused from the header and the file's size, before any buffer is
      // made for the 8.6 GB the header declares.
      {"input_declares_more_than_it_holds",
       [](const ScratchDir& s) {
         std::string header;
         for (const char* card :
              {"SIMPLE  =                    T", "BITPIX  =                  -32",
               "NAXIS   =                    2", "NAXIS1  =                46340",
               "NAXIS2  =                46340", "END"}) {
           header += std::string(card).append(80 - std::strlen(card), ' ');
         }
         header.resize(2880, ' ');
         WriteBytes(s.Path("in.fits"), header + std::string(2880, '\0'));
       },
       Model({}), 1, "declares 8589582400 bytes of data but the file holds 2880"},
      {"input_no_2d_image",
       [](const ScratchDir& s) {
         HduSpec line;
         line.axes = {63};
         line.stored.assign(63, 1.0);
         WriteFits(s.Path("in.fits"), {line});
       },
       Model({}), 1, "holds no 2-D image"},
      {"hdu_beyond_file", InputFits, Model({"--hdu", "3"}), 1, "has no HDU 3"},
      {"hdu_is_a_table",
       [](const ScratchDir& s) {
         HduSpec table;
         table.table = true;
         HduSpec image;
         image.axes = {9, 7};
         image.stored.assign(63, 1.0);
         WriteFits(s.Path("in.fits"), {image, table});
       },
       Model({"--hdu", "1"}), 1, "HDU 1 of"},
      {"raw_input_wrong_size",
       [](const ScratchDir& s) {
         InputRaw(s);
         WriteBytes(s.Path("in.f32"), ReadBytes(s.Path("in.f32")) + "xx");
       },
       {"convert", "@in.f32", "@out.fits"},
       1,
       "does not hold width x height samples"},

      // The outputs.
      {"output_exists",
       [](const ScratchDir& s) {
         InputFits(s);
         WriteBytes(s.Path("m.fits"), "keep");
       },
       Model({}), 1, "m.fits already exists"},
      {"later_output_exists",
       [](const ScratchDir& s) {
         InputFits(s);
         WriteBytes(s.Path("p.csv"), "keep");
       },
       Model({"--residual", "@r.fits", "--profile", "@p.csv"}), 1, "p.csv already exists"},
      {"output_is_input", InputFits, ModelWith("-o", "@in.fits"), 1, "is the input file"},
      {"output_is_input_forced", InputFits, Model({"--residual", "@in.fits", "--force"}), 1,
       "is the input file"},
      {"output_is_input_by_another_path",
       [](const ScratchDir& s) {
         InputFits(s);
         fs::create_directory(s.Path("sub"));
       },
       ModelWith("-o", "@sub/../in.fits"), 1, "is the input file"},
      {"output_is_input_through_link",
       [](const ScratchDir& s) {
         InputFits(s);
         fs::create_symlink("in.fits", s.Path("link.fits"));
       },
       Model({"--ratio", "@link.fits", "--force"}), 1, "is the input file"},
      {"output_is_input_hard_link",
       [](const ScratchDir& s) {
         InputFits(s);
         fs::create_hard_link(s.Path("in.fits"), s.Path("hard.fits"));
       },
       ModelWith("-o", "@hard.fits"), 1, "is the input file"},
      {"two_outputs_one_file", InputFits, Model({"--preview", "@m.fits"}), 1,
       "is the same file as -o"},
      {"output_is_folder",
       [](const ScratchDir& s) {
         InputFits(s);
         fs::create_directory(s.Path("m.fits"));
       },
       Model({"--force"}), 1, "is a folder"},
      // The last output cannot be written: the earlier ones must not appear.
      {"later_output_folder_missing", InputFits,
       Model({"--residual", "@r.fits", "--preview", "@nowhere/p.png"}), 1, "cannot write"},
      {"sample_output_exists",
       [](const ScratchDir& s) { WriteBytes(s.Path("s.fits"), "keep"); },
       {"sample", "@s.fits"},
       1,
       "already exists"},
      {"convert_onto_input",
       InputFits,
       {"convert", "@in.fits", "@in.fits", "--force"},
       1,
       "is the input file"},
      {"convert_output_exists",
       [](const ScratchDir& s) {
         InputFits(s);
         WriteBytes(s.Path("out.f32"), "keep");
       },
       {"convert", "@in.fits", "@out.f32"},
       1,
       "already exists"},
  };
}

// gtest names a failing case by this instead of its bytes.
void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class Refusal : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(Refusal, ExitsWithOneLineAndLeavesFilesAsTheyWere) {
  const ErrorCase& c = GetParam();
  ScratchDir scratch;
  c.setup(scratch);
  const auto before = scratch.Snapshot();
  std::vector<std::string> args;
  for (const std::string& a : c.args) {
    const std::size_t at = a.find('@');
    args.push_back(at == std::string::npos ? a : a.substr(0, at) + scratch.Path(a.substr(at + 1)));
  }
  const RunResult run = RunTool(args);
  EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
  EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  EXPECT_EQ(run.err.rfind("comamodel: ", 0), 0u) << run.err;
  ASSERT_FALSE(run.err.empty());
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "more than one line: " << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(scratch.Snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(Cases, Refusal, ::testing::ValuesIn(Cases()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Help, NamesTheCoordinateConvention) {
  const RunResult run = RunTool({"model", "--help"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.out.find("0-based column"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("X + Y*W"), std::string::npos) << run.out;
}

}  // namespace
