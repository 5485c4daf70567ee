// The "Coma Model" dialog: its class and the one instance the module keeps.
#pragma once

#include "platform/forms.h"

class TForm3 : public platform::Form {
 public:
  // Builds the dialog from its layout resource "TFORM3", owned by `owner`.
  explicit TForm3(platform::Application& owner);
  // However the dialog goes (its deferred release dispatched, or the library
  // unloaded), ComaDialog no longer names it: a later activation builds a new
  // one instead of using a freed one.
  ~TForm3() override;

  platform::Button* ButCreate;
  platform::GroupBox* GroupBox1;
  platform::Label* Label2;
  platform::Edit* EditPeak;
  platform::Label* Label3;
  platform::Edit* EditX;
  platform::Edit* EditY;
  platform::Button* ButPeak;
  platform::GroupBox* GroupBox2;
  platform::Edit* EditMaxRad;
  platform::Label* Label7;

  // "Create Model": runs CreateComaModel.
  void ButCreateClick(platform::Control* sender);
  // "Get from image": runs GetPointFromImage.
  void ButPeakClick(platform::Control* sender);
};

// The dialog, once an activation has created it; none before and again once
// it has been destroyed.
extern TForm3* ComaDialog;
