#include "sequence_command.h"

#include <oneapi/tbb/info.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <new>
#include <sstream>

#include "centers_table.h"
#include "fits_image.h"
#include "frame_pipeline.h"
#include "model_run.h"
#include "number_text.h"
#include "output_files.h"
#include "progress_line.h"
#include "run_summary.h"
#include "tool_error.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t kMaxJobs = 1024;

// The outputs --outputs may name, in the order `comamodel model` opens them,
// and the suffix each adds to the frame's stem.
struct OutputKind {
  const char* name;
  const char* suffix;
};
constexpr std::array<OutputKind, 6> kOutputKinds{{{"model", "-model.fits"},
                                                  {"residual", "-residual.fits"},
                                                  {"ratio", "-ratio.fits"},
                                                  {"profile", "-profile.csv"},
                                                  {"preview", "-preview.png"},
                                                  {"plot", "-plot.png"}}};
using OutputChoice = std::array<bool, kOutputKinds.size()>;

OutputChoice OutputsOption(const std::string& text) {
  OutputChoice chosen{};
  std::size_t start = 0;
  while (true) {
    const std::size_t end = std::min(text.find(',', start), text.size());
    const std::string name = text.substr(start, end - start);
    const auto kind = std::find_if(kOutputKinds.begin(), kOutputKinds.end(),
                                   [&name](const OutputKind& k) { return name == k.name; });
    if (kind == kOutputKinds.end()) {
      throw UsageError("--outputs: '" + name +
                       "' is not one of model, residual, ratio, profile, preview, plot");
    }
    chosen[static_cast<std::size_t>(kind - kOutputKinds.begin())] = true;
    if (end == text.size()) break;
    start = end + 1;
  }
  return chosen;
}

ModelPaths FramePaths(const std::string& outdir, const std::string& stem,
                      const OutputChoice& chosen) {
  std::array<std::optional<std::string>, kOutputKinds.size()> path;
  for (std::size_t k = 0; k < kOutputKinds.size(); ++k) {
    if (chosen[k]) path[k] = (fs::path(outdir) / (stem + kOutputKinds[k].suffix)).string();
  }
  return ModelPaths{path[0], path[1], path[2], path[3], path[4], path[5]};
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  if (text.size() < suffix.size()) return false;
  return std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  });
}

std::string ReadCentersText(const std::string& path) {
  std::ostringstream text;
  if (path == "-") {
    text << std::cin.rdbuf();
    if (std::cin.bad()) throw DataError("--centers: cannot read standard input");
    return text.str();
  }
  RequireInputFile(path);
  std::ifstream file(path, std::ios::binary);
  if (!file) throw DataError("--centers: cannot open " + path);
  // An empty file reads nothing; the parser then names the missing header.
  if (file.peek() != std::ifstream::traits_type::eof()) text << file.rdbuf();
  if (file.bad()) throw DataError("--centers: cannot read " + path);
  return text.str();
}

// A frame's centre request from its row of the table; throws DataError.
CentreRequest RowRequest(const CentersTable& table, const std::string& frame, std::int32_t box) {
  const std::optional<CenterRow> row = FindCenterRow(table, frame);
  if (!row) throw DataError("no row for this frame in the centres table");
  const std::string pair = row->first + "," + row->second;
  CentreRequest request;
  request.refine_box = box;
  if (table.sky) {
    request.sky = ParseSkyPosition(pair);
    if (!request.sky)
      throw DataError("the centres table's ra,dec '" + pair + "' is not a position");
  } else {
    request.pixel = ParseInt32Pair(pair, ',');
    if (!request.pixel) {
      throw DataError("the centres table's x,y '" + pair + "' is not two 32-bit integers");
    }
  }
  return request;
}

// A field of the log, quoted when it holds a comma, quote, line break or
// outer blank.
std::string CsvField(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  const bool quote = text.find_first_of(",\"") != std::string::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return text;
  std::string quoted = "\"";
  for (char c : text) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

std::string Decimal(double value, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  return text;
}

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

// What became of one frame, for stderr and the log.
struct FrameResult {
  bool ok = false;
  std::optional<FrameCentre> centre;
  double seconds = 0.0;
  std::string message;  // the failure, or the run's warnings
};

// A frame between the stages: its samples and the centre found in them;
// no samples when it has failed already.
struct PreparedFrame {
  std::size_t index = 0;
  std::optional<InputImage> input;
  FrameCentre centre;
};

// The text of any failure a frame's stage may meet.
template <class Work>
std::optional<std::string> Failure(Work work) {
  try {
    work();
    return std::nullopt;
  } catch (const ToolError& e) {
    return std::string(e.what());
  } catch (const std::bad_alloc&) {
    return std::string("out of memory");
  } catch (const std::exception& e) {
    return std::string(e.what());
  }
}

std::string LogText(const std::vector<std::string>& frames, const std::vector<FrameResult>& results,
                    std::int32_t radius) {
  std::string text = "file,x,y,centroid_x,centroid_y,radius,seconds,status,message\n";
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const FrameResult& r = results[i];
    std::string x, y, cx, cy;
    if (r.centre) {
      x = std::to_string(r.centre->x);
      y = std::to_string(r.centre->y);
      if (r.centre->centroid) {
        cx = Decimal(r.centre->centroid->first, 4);
        cy = Decimal(r.centre->centroid->second, 4);
      }
    }
    text += CsvField(frames[i]) + "," + x + "," + y + "," + cx + "," + cy + "," +
            std::to_string(radius) + "," + Decimal(r.seconds, 3) + "," + (r.ok ? "ok" : "failed") +
            "," + CsvField(r.message) + "\n";
  }
  return text;
}

}  // namespace

std::string FrameStem(const std::string& path) {
  std::string name = fs::path(path).filename().string();
  for (const char* suffix : {".gz", ".fz"}) {
    if (EndsWithNoCase(name, suffix)) {
      name.resize(name.size() - 3);
      break;
    }
  }
  for (const char* suffix : {".fits", ".fit", ".fts"}) {
    const std::string s = suffix;
    if (EndsWithNoCase(name, s)) {
      name.resize(name.size() - s.size());
      break;
    }
  }
  return name;
}

int RunSequence(const SequenceOptions& options) {
  // The command line first: nothing is read or written before it is whole.
  const int given = int{options.center.has_value()} + int{options.center_sky.has_value()} +
                    int{options.centers.has_value()};
  if (given != 1) {
    throw UsageError(given == 0 ? "--center, --center-sky or --centers is required"
                                : "--center, --center-sky and --centers each give the centres; "
                                  "use one");
  }
  if (options.track && !options.refine) {
    throw UsageError("--track follows the nucleus with --refine; give --refine too");
  }
  if (options.track && options.centers) {
    throw UsageError("--track starts from one centre; it cannot take --centers");
  }
  if (options.frames.empty() && !options.centers) {
    throw UsageError("no FRAME given (or give --centers and the table's files are the frames)");
  }
  const CentreRequest given_request =
      CentreRequestOptions(options.center, options.center_sky, options.refine);
  const ModelSettings settings =
      ModelSettingsOptions(options.radius, options.peak, options.preview_full);
  const OutputChoice chosen = OutputsOption(options.outputs);
  int jobs = oneapi::tbb::info::default_concurrency();
  if (options.jobs) {
    const auto n = ParseInt32(*options.jobs);
    if (!n || *n < 1 || *n > kMaxJobs) {
      throw UsageError("--jobs: '" + *options.jobs + "' is not a number of workers, 1 to " +
                       std::to_string(kMaxJobs));
    }
    jobs = *n;
  }

  std::optional<CentersTable> table;
  if (options.centers) {
    table = ParseCentersTable(ReadCentersText(*options.centers), *options.centers);
  }
  std::vector<std::string> frames = options.frames;
  if (frames.empty()) {
    for (const CenterRow& row : table->rows) frames.push_back(row.file);
    if (frames.empty()) throw DataError(*options.centers + ": the centres table has no rows");
  }

  // Two frames of one stem would write the same files.
  std::map<std::string, std::string> by_stem;
  for (const std::string& frame : frames) {
    const std::string stem = FrameStem(frame);
    if (stem.empty()) throw UsageError(frame + ": no file name to name its outputs by");
    const auto [it, added] = by_stem.emplace(stem, frame);
    if (!added) {
      throw UsageError(frame + " and " + it->second + " would both write " + stem +
                       "-*; give frames of different names");
    }
  }
  // An existing folder, as cp and mv want one: a mistyped name is not
  // silently made into a new folder.
  std::error_code ec;
  if (!fs::is_directory(options.outdir, ec)) {
    throw DataError("--outdir " + options.outdir + " is not a folder (create it first)");
  }

  std::vector<ModelPaths> paths;
  std::vector<std::optional<CentreRequest>> requests;
  std::vector<std::string> request_errors(frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) {
    paths.push_back(FramePaths(options.outdir, FrameStem(frames[i]), chosen));
    if (!table) {
      requests.push_back(given_request);
      continue;
    }
    std::optional<CentreRequest> request;
    if (const auto failure =
            Failure([&] { request = RowRequest(*table, frames[i], given_request.refine_box); })) {
      request_errors[i] = *failure;
    }
    requests.push_back(request);
  }

  // No output may be one of the frames, which another worker may be reading.
  std::map<fs::path, std::string> inputs;
  for (const std::string& frame : frames) {
    inputs.emplace(fs::weakly_canonical(fs::absolute(frame), ec), frame);
  }
  const auto refuse_input = [&](const std::string& path, const std::string& what) {
    const auto it = inputs.find(fs::weakly_canonical(fs::absolute(path), ec));
    if (it != inputs.end()) throw DataError(what + " " + path + " is the frame " + it->second);
  };
  for (std::size_t i = 0; i < frames.size(); ++i) {
    for (const auto* path : {&paths[i].model, &paths[i].residual, &paths[i].ratio,
                             &paths[i].profile, &paths[i].preview, &paths[i].plot}) {
      if (*path) refuse_input(**path, "the output");
    }
  }
  // The log is checked and opened now, so a refused one costs no frame.
  RunOutputs log_outputs("", options.force);
  files::Output* log = nullptr;
  if (options.log) {
    refuse_input(*options.log, "--log");
    log = log_outputs.AddIf("--log", options.log);
  }

  std::vector<FrameResult> results(frames.size());
  ProgressLine progress(frames.size());
  const auto failed = [&](std::size_t index, const std::string& message) {
    results[index].ok = false;
    results[index].message = OneLine(message);
    progress.Message("comamodel: " + frames[index] + ": " + results[index].message);
  };
  // Tracking: each frame's search starts from the last centroid found, or
  // from the given centre while none is.
  std::optional<std::pair<double, double>> previous;
  using Clock = std::chrono::steady_clock;
  const auto seconds_since = [](Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
  };

  const auto prepare = [&](std::size_t index) {
    const auto start = Clock::now();
    PreparedFrame frame;
    frame.index = index;
    const std::string& path = frames[index];
    const auto failure = Failure([&] {
      if (!requests[index]) throw DataError(request_errors[index]);
      CentreRequest request = *requests[index];
      if (options.track && previous) {
        request.sky.reset();
        request.pixel = {static_cast<std::int32_t>(std::floor(previous->first + 0.5)),
                         static_cast<std::int32_t>(std::floor(previous->second + 0.5))};
      }
      RequireInputFile(path);
      frame.input = ReadInputImage(path, std::nullopt);
      frame.centre = FindFrameCentre(*frame.input, path, request);
      results[index].centre = frame.centre;
      if (options.track) previous = frame.centre.centroid;
    });
    results[index].seconds = seconds_since(start);
    if (failure) {
      frame.input.reset();
      failed(index, *failure);
    }
    return frame;
  };
  const auto finish = [&](PreparedFrame& frame) {
    const std::size_t index = frame.index;
    if (frame.input) {
      const auto start = Clock::now();
      const std::string& path = frames[index];
      std::vector<std::string> warnings;
      const auto failure = Failure([&] {
        RunOutputs outputs(path, options.force);
        const OpenedOutputs opened = OpenModelOutputs(outputs, paths[index]);
        const RunSummary summary =
            WriteModelFiles(*frame.input, path, frame.centre, settings, opened);
        outputs.Commit();
        warnings = RunWarnings(summary);
      });
      frame.input.reset();  // the samples go before the next frame comes
      results[index].seconds += seconds_since(start);
      if (failure) {
        failed(index, *failure);
      } else {
        results[index].ok = true;
        std::string joined;
        for (const std::string& warning : warnings) {
          joined += (joined.empty() ? "" : "; ") + warning;
        }
        results[index].message = joined;
        if (!joined.empty()) progress.Message("comamodel: " + path + ": " + joined);
      }
    }
    progress.FrameDone();
  };
  RunFramePipeline<PreparedFrame>(frames.size(), jobs, options.track, prepare, finish);

  if (log) {
    const std::string text = LogText(frames, results, settings.radius);
    log->Write(std::vector<unsigned char>(text.begin(), text.end()));
    log_outputs.Commit();
  }
  const bool all_ok =
      std::all_of(results.begin(), results.end(), [](const FrameResult& r) { return r.ok; });
  return all_ok ? 0 : kExitData;
}
