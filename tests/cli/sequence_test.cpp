// The sequence subcommand: each frame's outputs against `comamodel model` on
// that frame, the centres table, tracking a drifting nucleus, a failing frame
// among good ones, and the command lines it refuses.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <sstream>

#include "tool_support.h"

namespace {

// A small frame with a nucleus at (nx, ny) on a 1/rho coma, blanks and
// repeated values, different for each seed.
Image CometFrame(double nx, double ny, std::uint32_t seed) {
  Image image{31, 27, {}};
  std::uint32_t state = seed;
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) {
      state = state * 1664525u + 1013904223u;
      const double dx = x - nx, dy = y - ny;
      float v = static_cast<float>(300.0 / (1.0 + std::sqrt(dx * dx + dy * dy)) +
                                   static_cast<double>(state >> 29));
      if (state % 31 == 0) v = std::numeric_limits<float>::quiet_NaN();
      image.samples.push_back(v);
    }
  }
  return image;
}

// A flat sky with a Gaussian nucleus at (nx, ny): nothing but the nucleus
// stands above the background.
Image NucleusFrame(double nx, double ny) {
  Image image{40, 30, {}};
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) {
      const double dx = x - nx, dy = y - ny;
      image.samples.push_back(static_cast<float>(100.0 + 5000.0 * std::exp(-(dx * dx + dy * dy))));
    }
  }
  return image;
}

// The file's bytes with the cards that hold the time of writing (DATE, and
// CHECKSUM which covers it) blanked.
std::string WithoutTimeOfWriting(std::string bytes) {
  for (std::size_t at = 0; at + 80 <= bytes.size(); at += 80) {
    const std::string key = bytes.substr(at, 8);
    if (key == "DATE    " || key == "CHECKSUM") bytes.replace(at, 80, 80, ' ');
    if (key == "END     ") break;
  }
  return bytes;
}

std::vector<std::string> CsvFields(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// The log's rows by file, each its fields.
std::map<std::string, std::vector<std::string>> LogRows(const std::string& path) {
  std::istringstream text(ReadBytes(path));
  std::string line;
  std::getline(text, line);
  EXPECT_EQ(line, "file,x,y,centroid_x,centroid_y,radius,seconds,status,message");
  std::map<std::string, std::vector<std::string>> rows;
  while (std::getline(text, line)) {
    const std::vector<std::string> fields = CsvFields(line);
    EXPECT_EQ(fields.size(), 9u) << line;
    rows[fields[0]] = fields;
  }
  return rows;
}

std::size_t Lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class SequenceAgainstModel : public ::testing::TestWithParam<const char*> {};

TEST_P(SequenceAgainstModel, EachFrameGetsWhatModelWrites) {
  ScratchDir scratch;
  ASSERT_EQ(::mkdir(scratch.Path("seq").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(scratch.Path("one").c_str(), 0755), 0);
  const std::vector<std::string> names{"a.fits", "b.FTS", "c.fit", "d.fits"};
  std::vector<std::string> frames;
  for (std::size_t i = 0; i < names.size(); ++i) {
    frames.push_back(scratch.Path(names[i]));
    WriteFitsImage(frames.back(), CometFrame(14.0 + double(i), 12.0, 7u + std::uint32_t(i)));
  }
  const std::vector<std::string> common{"--center", "15,12",  "--refine=5", "--radius",
                                        "9",        "--peak", "50"};
  std::vector<std::string> args{"sequence"};
  args.insert(args.end(), frames.begin(), frames.end());
  args.insert(args.end(), {"--outdir", scratch.Path("seq"), "--jobs", GetParam(), "--outputs",
                           "model,residual,ratio,profile,preview,plot"});
  args.insert(args.end(), common.begin(), common.end());
  const RunResult run = RunTool(args);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");

  const std::vector<std::string> suffixes{"-model.fits",  "-residual.fits", "-ratio.fits",
                                          "-profile.csv", "-preview.png",   "-plot.png"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string stem = names[i].substr(0, names[i].find('.'));
    SCOPED_TRACE(stem);
    const auto one = [&](std::size_t k) { return scratch.Path("one/" + stem + suffixes[k]); };
    std::vector<std::string> model{"model",     frames[i], "-o",     one(0),      "--residual",
                                   one(1),      "--ratio", one(2),   "--profile", one(3),
                                   "--preview", one(4),    "--plot", one(5)};
    model.insert(model.end(), common.begin(), common.end());
    ASSERT_EQ(RunTool(model).exit_code, 0);
    for (std::size_t k = 0; k < suffixes.size(); ++k) {
      SCOPED_TRACE(suffixes[k]);
      EXPECT_EQ(WithoutTimeOfWriting(ReadBytes(scratch.Path("seq/" + stem + suffixes[k]))),
                WithoutTimeOfWriting(ReadBytes(one(k))));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Jobs, SequenceAgainstModel, ::testing::Values("1", "2"),
                         [](const auto& p) { return std::string("jobs") + p.param; });

// Rows by path as given or by bare file name; a frame with no row, or a row
// that is not a centre, fails alone.
TEST(Sequence, CentresTableGivesEachFrameItsCentre) {
  ScratchDir scratch;
  ASSERT_EQ(::mkdir(scratch.Path("out").c_str(), 0755), 0);
  for (const char* name : {"a.fits", "b.fits", "c.fits", "d.fits"}) {
    WriteFitsImage(scratch.Path(name), CometFrame(15.0, 12.0, 3u));
  }
  WriteBytes(scratch.Path("centres.csv"), "# made by hand\nfile,x,y\na.fits,10,8\n" +
                                              scratch.Path("b.fits") +
                                              ",\"20\",15\r\nd.fits,4,zz\n");
  const RunResult run =
      RunTool({"sequence", scratch.Path("a.fits"), scratch.Path("b.fits"), scratch.Path("c.fits"),
               scratch.Path("d.fits"), "--outdir", scratch.Path("out"), "--centers",
               scratch.Path("centres.csv"), "--radius", "6", "--log", scratch.Path("log.csv")});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(Lines(run.err), 2u) << run.err;
  EXPECT_NE(run.err.find(scratch.Path("c.fits") + ": no row"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(scratch.Path("d.fits") + ": "), std::string::npos) << run.err;

  struct Expected {
    const char* stem;
    const char* x;
    const char* y;
  };
  for (const Expected& e : {Expected{"a", "10", "8"}, Expected{"b", "20", "15"}}) {
    SCOPED_TRACE(e.stem);
    const FitsPrimary model =
        DecodeFits(scratch.Path(std::string("out/") + e.stem + "-model.fits"));
    EXPECT_EQ(model.keys.at("COMA_X"), e.x);
    EXPECT_EQ(model.keys.at("COMA_Y"), e.y);
  }
  const auto rows = LogRows(scratch.Path("log.csv"));
  EXPECT_EQ(rows.at(scratch.Path("a.fits"))[7], "ok");
  EXPECT_EQ(rows.at(scratch.Path("c.fits"))[7], "failed");
  EXPECT_EQ(rows.at(scratch.Path("d.fits"))[7], "failed");
  for (const char* stem : {"c", "d"}) {
    EXPECT_FALSE(std::filesystem::exists(scratch.Path(std::string("out/") + stem + "-model.fits")));
  }

  // Without FRAME the table's files are the frames; a spreadsheet's byte
  // order mark before the header is skipped.
  ASSERT_EQ(::mkdir(scratch.Path("out2").c_str(), 0755), 0);
  WriteBytes(scratch.Path("listed.csv"),
             "\xEF\xBB\xBF"
             "file,x,y\n" +
                 scratch.Path("c.fits") + ",3,4\n");
  const RunResult from_table = RunTool({"sequence", "--outdir", scratch.Path("out2"), "--centers",
                                        scratch.Path("listed.csv"), "--radius", "6"});
  ASSERT_EQ(from_table.exit_code, 0) << from_table.err;
  EXPECT_EQ(DecodeFits(scratch.Path("out2/c-model.fits")).keys.at("COMA_X"), "3");
}

// A nucleus drifting 2 px a frame (1.6 right, 1.2 down): tracked from the
// previous centroid, a 5 x 5 box keeps it in every frame; searched around the
// first centre each time, it is lost once it has gone far from there.
TEST(Sequence, TrackingFollowsADriftingNucleus) {
  constexpr std::size_t kFrames = 8;
  const auto nucleus = [](std::size_t k) {
    return std::pair{8.2 + 1.6 * double(k), 6.0 + 1.2 * double(k)};
  };
  for (const bool track : {true, false}) {
    SCOPED_TRACE(track ? "tracked" : "fixed");
    ScratchDir scratch;
    ASSERT_EQ(::mkdir(scratch.Path("out").c_str(), 0755), 0);
    std::vector<std::string> args{"sequence"};
    for (std::size_t k = 0; k < kFrames; ++k) {
      args.push_back(scratch.Path("f" + std::to_string(k) + ".fits"));
      WriteFitsImage(args.back(), NucleusFrame(nucleus(k).first, nucleus(k).second));
    }
    args.insert(args.end(), {"--outdir", scratch.Path("out"), "--center", "9,7", "--refine=5",
                             "--radius", "4", "--jobs", "2", "--log", scratch.Path("log.csv")});
    if (track) args.push_back("--track");
    const RunResult run = RunTool(args);
    EXPECT_EQ(run.exit_code, track ? 0 : 1) << run.err;
    const auto rows = LogRows(scratch.Path("log.csv"));
    ASSERT_EQ(rows.size(), kFrames);
    for (std::size_t k = 0; k < kFrames; ++k) {
      SCOPED_TRACE(k);
      const auto& row = rows.at(scratch.Path("f" + std::to_string(k) + ".fits"));
      if (!track && k == kFrames - 1) {
        EXPECT_EQ(row[7], "failed");
      }
      if (row[7] != "ok") continue;
      const auto [nx, ny] = nucleus(k);
      EXPECT_EQ(row[1], std::to_string(std::lround(nx)));
      EXPECT_EQ(row[2], std::to_string(std::lround(ny)));
      EXPECT_NEAR(std::stod(row[3]), nx, 0.1);
      EXPECT_NEAR(std::stod(row[4]), ny, 0.1);
    }
    if (track) {
      EXPECT_EQ(run.err, "");
    }
  }
}

// Frames that cannot be read, hold no image or would replace an output do
// not stop the others.
TEST(Sequence, AFailingFrameLeavesTheOthers) {
  ScratchDir scratch;
  ASSERT_EQ(::mkdir(scratch.Path("out").c_str(), 0755), 0);
  WriteFitsImage(scratch.Path("good1.fits"), CometFrame(15.0, 12.0, 1u));
  WriteFitsImage(scratch.Path("good2.fits"), CometFrame(15.0, 12.0, 2u));
  WriteFitsImage(scratch.Path("kept.fits"), CometFrame(15.0, 12.0, 3u));
  WriteBytes(scratch.Path("text.fits"), "not a FITS file\n");
  WriteBytes(scratch.Path("out/kept-model.fits"), "earlier");
  const std::vector<std::string> bad{"missing.fits", "text.fits", "kept.fits"};
  std::vector<std::string> args{"sequence", scratch.Path("good1.fits")};
  for (const std::string& name : bad) args.push_back(scratch.Path(name));
  args.insert(args.end(),
              {scratch.Path("good2.fits"), "--outdir", scratch.Path("out"), "--center", "15,12",
               "--radius", "5", "--jobs", "2", "--log", scratch.Path("log.csv")});
  const RunResult run = RunTool(args);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(Lines(run.err), bad.size()) << run.err;
  for (const std::string& name : bad) {
    EXPECT_NE(run.err.find("comamodel: " + scratch.Path(name) + ": "), std::string::npos)
        << run.err;
  }
  EXPECT_EQ(ReadBytes(scratch.Path("out/kept-model.fits")), "earlier");
  EXPECT_FALSE(std::filesystem::exists(scratch.Path("out/kept-residual.fits")));
  for (const char* stem : {"good1", "good2"}) {
    EXPECT_EQ(DecodeFits(scratch.Path(std::string("out/") + stem + "-residual.fits")).image.width,
              31);
  }
  const auto rows = LogRows(scratch.Path("log.csv"));
  EXPECT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows.at(scratch.Path("good2.fits"))[7], "ok");
  for (const std::string& name : bad) {
    EXPECT_EQ(rows.at(scratch.Path(name))[7], "failed");
    EXPECT_FALSE(rows.at(scratch.Path(name))[8].empty());
  }
}

struct RefusalCase {
  const char* name;
  // After "sequence"; F, G, FM stand for frames, O for the outdir, N for a
  // missing folder, T for a table.
  std::vector<std::string> args;
  int exit_code;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class SequenceRefusal : public ::testing::TestWithParam<RefusalCase> {};

// Refused before any frame is read: one line on stderr, nothing written.
TEST_P(SequenceRefusal, WritesNothing) {
  const RefusalCase& c = GetParam();
  ScratchDir scratch;
  ASSERT_EQ(::mkdir(scratch.Path("out").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(scratch.Path("sub").c_str(), 0755), 0);
  WriteFitsImage(scratch.Path("f.fits"), CometFrame(15.0, 12.0, 1u));
  WriteFitsImage(scratch.Path("sub/f.fit"), CometFrame(15.0, 12.0, 2u));
  WriteFitsImage(scratch.Path("out/f-model.fits"), CometFrame(15.0, 12.0, 3u));
  WriteBytes(scratch.Path("bad.csv"), "name,x,y\nf.fits,1,2\n");
  std::vector<std::string> args{"sequence"};
  for (const std::string& arg : c.args) {
    const std::map<std::string, std::string> names{{"F", scratch.Path("f.fits")},
                                                   {"G", scratch.Path("sub/f.fit")},
                                                   {"FM", scratch.Path("out/f-model.fits")},
                                                   {"N", scratch.Path("nowhere")},
                                                   {"O", scratch.Path("out")},
                                                   {"T", scratch.Path("bad.csv")}};
    args.push_back(names.count(arg) ? names.at(arg) : arg);
  }
  const auto before = scratch.Snapshot();
  const RunResult run = RunTool(args);
  EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
  EXPECT_EQ(Lines(run.err), 1u) << run.err;
  EXPECT_EQ(scratch.Snapshot(), before);
}

const std::vector<std::string> kRun{"F", "--outdir", "O", "--radius", "5"};

std::vector<std::string> With(std::vector<std::string> extra) {
  std::vector<std::string> args = kRun;
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SequenceRefusal,
    ::testing::Values(
        RefusalCase{"no_centre", kRun, 2},
        RefusalCase{"two_centres", With({"--center", "1,2", "--center-sky", "10,20"}), 2},
        RefusalCase{"track_without_refine", With({"--center", "1,2", "--track"}), 2},
        RefusalCase{"track_with_table", With({"--centers", "T", "--refine", "--track"}), 2},
        RefusalCase{"same_stem", With({"G", "--center", "1,2"}), 2},
        RefusalCase{"unknown_output", With({"--center", "1,2", "--outputs", "model,mask"}), 2},
        RefusalCase{"no_jobs", With({"--center", "1,2", "--jobs", "0"}), 2},
        RefusalCase{"bad_radius", {"F", "--outdir", "O", "--center", "1,2", "--radius", "r"}, 2},
        RefusalCase{"no_frame", {"--outdir", "O", "--center", "1,2", "--radius", "5"}, 2},
        RefusalCase{
            "missing_outdir", {"F", "--outdir", "N", "--center", "1,2", "--radius", "5"}, 1},
        RefusalCase{"bad_table_header", With({"--centers", "T"}), 1},
        RefusalCase{"output_is_a_frame", With({"FM", "--center", "1,2", "--force"}), 1},
        RefusalCase{"log_is_a_frame", With({"--center", "1,2", "--log", "F", "--force"}), 1}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
