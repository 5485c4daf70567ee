// The "Coma Model" dialog as its resource builds it: the form's settings,
// every component's kind, parent, text, geometry and tab order, the focus on
// first activation, and its handlers' binding.
#include <gtest/gtest.h>

#include "dialog/frmCC3.h"
#include "platform/headless.h"
#include "tests/headless/shell_test.h"

namespace {

using platform::Bounds;
using platform::ComponentKind;

class DialogTest : public ShellTest {};

TEST_F(DialogTest, FormSettingsAreThoseOfTheLayout) {
  TForm3 form(platform::App());
  const platform::FormLayout& l = form.Layout();
  EXPECT_EQ(l.name, "Form3");
  EXPECT_EQ(l.caption, "Coma Model");
  EXPECT_EQ(l.border, platform::BorderStyle::Dialog);
  EXPECT_TRUE(l.stay_on_top);
  EXPECT_EQ(l.left, 458);
  EXPECT_EQ(l.top, 178);
  EXPECT_EQ(l.client_width, 254);
  EXPECT_EQ(l.client_height, 188);
  EXPECT_EQ(l.color, platform::FormColor::ButtonFace);
  EXPECT_EQ(l.font_name, "Tahoma");
  EXPECT_EQ(l.font_height, -11);
  EXPECT_TRUE(l.visible);
  EXPECT_TRUE(form.Visible());
}

TEST_F(DialogTest, ComponentsInCreationOrderWithParentTextGeometryAndTabOrder) {
  TForm3 form(platform::App());
  const struct {
    const char* name;
    ComponentKind kind;
    const char* parent;  // "" for the form
    const char* text;
    Bounds bounds;
    std::int32_t tab;
    const char* click;
  } expected[] = {
      {"ButCreate",
       ComponentKind::Button,
       "",
       "Create Model",
       {72, 152, 113, 29},
       0,
       "ButCreateClick"},
      {"GroupBox1", ComponentKind::GroupBox, "", "Peak", {8, 4, 237, 81}, 1, ""},
      {"Label2", ComponentKind::Label, "GroupBox1", "New value:", {12, 52, 54, 13}, -1, ""},
      {"Label3", ComponentKind::Label, "GroupBox1", "X,Y:", {12, 20, 20, 13}, -1, ""},
      {"EditPeak", ComponentKind::Edit, "GroupBox1", "0", {80, 49, 49, 21}, 0, ""},
      {"EditX", ComponentKind::Edit, "GroupBox1", "0", {44, 17, 37, 21}, 1, ""},
      {"EditY", ComponentKind::Edit, "GroupBox1", "0", {92, 17, 37, 21}, 2, ""},
      {"ButPeak",
       ComponentKind::Button,
       "GroupBox1",
       "Get from image",
       {140, 14, 85, 25},
       3,
       "ButPeakClick"},
      {"GroupBox2", ComponentKind::GroupBox, "", "Options", {8, 92, 237, 53}, 2, ""},
      {"Label7", ComponentKind::Label, "GroupBox2", "Max radius:", {12, 24, 56, 13}, -1, ""},
      {"EditMaxRad", ComponentKind::Edit, "GroupBox2", "50", {80, 21, 37, 21}, 0, ""},
  };
  ASSERT_EQ(form.Controls().size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const auto& e = expected[i];
    const platform::Control& c = *form.Controls()[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(c.Name(), e.name);
    EXPECT_EQ(c.Kind(), e.kind);
    EXPECT_EQ(c.Parent() ? c.Parent()->Name() : std::string(), e.parent);
    EXPECT_EQ(c.Text(), e.text);
    EXPECT_EQ(c.Geometry(), e.bounds);
    EXPECT_EQ(c.TabOrder(), e.tab);
    EXPECT_EQ(c.ClickHandlerName(), e.click);
  }
  // The fields are the components of those names.
  EXPECT_EQ(form.ButCreate, form.FindControl("ButCreate"));
  EXPECT_EQ(form.GroupBox1, form.FindControl("GroupBox1"));
  EXPECT_EQ(form.Label2, form.FindControl("Label2"));
  EXPECT_EQ(form.EditPeak, form.FindControl("EditPeak"));
  EXPECT_EQ(form.Label3, form.FindControl("Label3"));
  EXPECT_EQ(form.EditX, form.FindControl("EditX"));
  EXPECT_EQ(form.EditY, form.FindControl("EditY"));
  EXPECT_EQ(form.ButPeak, form.FindControl("ButPeak"));
  EXPECT_EQ(form.GroupBox2, form.FindControl("GroupBox2"));
  EXPECT_EQ(form.EditMaxRad, form.FindControl("EditMaxRad"));
  EXPECT_EQ(form.Label7, form.FindControl("Label7"));
}

TEST_F(DialogTest, FirstActivationFocusesCreateModelThenTheLastFocusedControl) {
  TForm3 form(platform::App());
  EXPECT_EQ(form.LastFocused(), form.ButCreate);
  form.NoteFocus(form.EditMaxRad);
  form.Hide();
  form.Show();
  EXPECT_EQ(form.LastFocused(), form.EditMaxRad);
}

TEST_F(DialogTest, ScalesOnAScreenWhoseTextHeightDiffers) {
  platform::headless::SetScreen(
      120, [](const std::string&, std::int32_t height) { return height == -14 ? 16 : 13; });
  TForm3 form(platform::App());
  EXPECT_EQ(form.Layout().font_height, -14);
  EXPECT_EQ(form.Layout().client_width, 313);   // 254 * 16 / 13
  EXPECT_EQ(form.Layout().client_height, 231);  // 188 * 16 / 13
  EXPECT_EQ(form.ButCreate->Geometry(), (Bounds{89, 187, 139, 36}));
  EXPECT_EQ(form.Layout().left, 458);
}

}  // namespace
