// The output set through its portable interface, on each back end (natively
// and, on the Windows build, under wine): what a target holds and what else
// the folder holds after a commit, a discarded set and a commit that fails.
#include "files/output_set.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>

namespace {

namespace fs = std::filesystem;

class Folder {
 public:
  Folder() {
    std::random_device random;
    path_ = fs::temp_directory_path() / ("coma-files-test-" + std::to_string(random()));
    fs::create_directories(path_);
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  void Put(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
  }
  // Every entry, hidden ones included, with its content.
  std::map<std::string, std::string> Entries() const {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::directory_iterator(path_)) {
      std::ostringstream text;
      if (entry.is_directory()) {
        text << "<folder>";
      } else {
        text << std::ifstream(entry.path(), std::ios::binary).rdbuf();
      }
      entries[entry.path().filename().string()] = text.str();
    }
    return entries;
  }

 private:
  fs::path path_;
};

void Write(files::Output& output, const std::string& text) {
  output.Write(text.data(), text.size());
}

struct OneOutputCase {
  const char* name;
  std::optional<std::string> existing;  // content of "out" before, or a folder
  files::Replace replace;
  bool commit;
  const char* error;  // what Add refuses with, or nullptr
  std::map<std::string, std::string> after;
};

void PrintTo(const OneOutputCase& c, std::ostream* os) { *os << c.name; }

class OneOutput : public ::testing::TestWithParam<OneOutputCase> {};

TEST_P(OneOutput, LeavesTheTargetWholeOrAsItWas) {
  const OneOutputCase& c = GetParam();
  Folder folder;
  if (c.existing && *c.existing == "<folder>") {
    fs::create_directory(folder.Path("out"));
  } else if (c.existing) {
    folder.Put("out", *c.existing);
  }
  {
    files::OutputSet set;
    if (c.error != nullptr) {
      try {
        set.Add(folder.Path("out"), c.replace);
        ADD_FAILURE() << "Add accepted the output";
      } catch (const files::FileError& e) {
        EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(folder.Path("out")), std::string::npos) << e.what();
      }
    } else {
      files::Output& output = set.Add(folder.Path("out"), c.replace);
      Write(output, "new ");
      Write(output, "content");
      if (c.commit) set.Commit();
    }
  }
  EXPECT_EQ(folder.Entries(), c.after);
}

const OneOutputCase kOneOutputCases[] = {
    {"new_committed", std::nullopt, files::Replace::kNo, true, nullptr, {{"out", "new content"}}},
    {"new_discarded", std::nullopt, files::Replace::kNo, false, nullptr, {}},
    {"existing_replaced", "old", files::Replace::kYes, true, nullptr, {{"out", "new content"}}},
    {"existing_kept_when_discarded", "old", files::Replace::kYes, false, nullptr, {{"out", "old"}}},
    {"existing_refused_without_replace",
     "old",
     files::Replace::kNo,
     true,
     "already exists",
     {{"out", "old"}}},
    {"folder_refused",
     "<folder>",
     files::Replace::kYes,
     true,
     "is a folder",
     {{"out", "<folder>"}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, OneOutput, ::testing::ValuesIn(kOneOutputCases),
                         [](const auto& p) { return std::string(p.param.name); });

// The second output's name is taken between Add and Commit: the commit fails
// naming it, and the first, already swapped in, gets its old content back.
TEST(OutputSet, AFailedCommitPutsEveryTargetBack) {
  Folder folder;
  folder.Put("a", "old a");
  {
    files::OutputSet set;
    Write(set.Add(folder.Path("a"), files::Replace::kYes), "new a");
    Write(set.Add(folder.Path("b"), files::Replace::kNo), "new b");
    folder.Put("b", "theirs");
    try {
      set.Commit();
      ADD_FAILURE() << "the commit replaced b";
    } catch (const files::FileError& e) {
      EXPECT_TRUE(e.exists()) << e.what();
      EXPECT_NE(std::string(e.what()).find(folder.Path("b")), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(folder.Entries(),
            (std::map<std::string, std::string>{{"a", "old a"}, {"b", "theirs"}}));
}

TEST(OutputSet, WholeFileConvenienceWritesOneOutput) {
  Folder folder;
  const std::string text = "radius,median,members\n";
  files::WriteWholeFile(folder.Path("p.csv"), text.data(), text.size(), files::Replace::kNo);
  EXPECT_EQ(folder.Entries(), (std::map<std::string, std::string>{{"p.csv", text}}));
}

}  // namespace
