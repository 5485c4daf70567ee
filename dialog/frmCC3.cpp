#include "dialog/frmCC3.h"

#include "plugin/comacode9.h"

TForm3* ComaDialog = nullptr;

namespace {

// The handlers the layout resource may bind by name; constant, so that
// loading the library runs no initialiser of the module's own.
constexpr platform::Form::Method kMethods[] = {
    {"ButCreateClick", static_cast<platform::Form::Handler>(&TForm3::ButCreateClick)},
    {"ButPeakClick", static_cast<platform::Form::Handler>(&TForm3::ButPeakClick)},
};

}  // namespace

TForm3::TForm3(platform::Application& owner)
    : platform::Form(owner, "TFORM3", kMethods),
      ButCreate(Component<platform::Button>("ButCreate")),
      GroupBox1(Component<platform::GroupBox>("GroupBox1")),
      Label2(Component<platform::Label>("Label2")),
      EditPeak(Component<platform::Edit>("EditPeak")),
      Label3(Component<platform::Label>("Label3")),
      EditX(Component<platform::Edit>("EditX")),
      EditY(Component<platform::Edit>("EditY")),
      ButPeak(Component<platform::Button>("ButPeak")),
      GroupBox2(Component<platform::GroupBox>("GroupBox2")),
      EditMaxRad(Component<platform::Edit>("EditMaxRad")),
      Label7(Component<platform::Label>("Label7")) {}

// A second pi_initialize may have let go of this dialog while it lives on;
// ComaDialog then names another one, or none, and stays as it is.
TForm3::~TForm3() {
  if (ComaDialog == this) ComaDialog = nullptr;
}

// Both handlers leave the sender aside: the commands reach the dialog only
// through ComaDialog.
void TForm3::ButCreateClick(platform::Control* /*sender*/) { CreateComaModel(); }

void TForm3::ButPeakClick(platform::Control* /*sender*/) { GetPointFromImage(); }
