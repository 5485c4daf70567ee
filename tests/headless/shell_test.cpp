#include "tests/headless/shell_test.h"

#include <fstream>
#include <sstream>

#include "dialog/frmCC3.h"
#include "platform/headless.h"
#include "plugin/comacode9.h"

namespace {

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

const EntryPoints& Plugin() {
  // Initialised from the exported functions themselves: a calling convention
  // or signature that differs from the host's types fails to compile here.
  static constexpr EntryPoints entry_points{&pi_initialize, &pi_activate, &pi_finalize};
  return entry_points;
}

void ShellTest::SetUp() {
  platform::headless::Reset();
  host::ResetHost();
  ComaDialog = nullptr;
  platform::headless::AddResource("TFORM3", ReadFile(COMA_DIALOG_LAYOUT));
  platform::headless::SetExecutablePath("C:\\Program Files\\Host\\HOSTAPP.EXE");
  platform::StartUp();
  main_window = platform::headless::CreateHostWindow();
  plugin_window = platform::headless::CreateHostWindow(main_window);
}

void ShellTest::TearDown() {
  platform::headless::Reset();
  host::ResetHost();
  ComaDialog = nullptr;
}

void ShellTest::Initialize() {
  char name[32];
  char description[64];
  Plugin().initialize(host::HostService, name, description, plugin_window);
}
