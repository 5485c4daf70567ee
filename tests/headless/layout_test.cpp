// The layout text format: what it accepts, what it refuses and why, and the
// design-metrics scaling.
#include <gtest/gtest.h>

#include "platform/layout.h"

namespace {

using platform::ApplyDesignMetrics;
using platform::Bounds;
using platform::ComponentKind;
using platform::ParseLayout;

constexpr char kSmall[] = R"(# comment
form Main
  caption "A \"quoted\" \\ title"
  border dialog
  stay-on-top yes
  position -5 7
  client-size 100 50
  font "Tahoma" -11
  visible no

groupbox Box
  parent Main
  text "Group"
  position 1 2
  size 90 40
  tab-order 0
button Go
  parent Box
  text "Go"
  position 3 4
  size 20 10
  tab-order 0
  on-click GoClick
)";

TEST(LayoutParse, ReadsFormAndComponentsInOrder) {
  std::string error;
  auto layout = ParseLayout(kSmall, &error);
  ASSERT_TRUE(layout) << error;
  EXPECT_EQ(layout->name, "Main");
  EXPECT_EQ(layout->caption, "A \"quoted\" \\ title");
  EXPECT_EQ(layout->border, platform::BorderStyle::Dialog);
  EXPECT_TRUE(layout->stay_on_top);
  EXPECT_FALSE(layout->visible);
  EXPECT_EQ(layout->left, -5);
  EXPECT_EQ(layout->top, 7);
  EXPECT_EQ(layout->client_width, 100);
  EXPECT_EQ(layout->client_height, 50);
  EXPECT_EQ(layout->font_name, "Tahoma");
  EXPECT_EQ(layout->font_height, -11);
  EXPECT_EQ(layout->design_ppi, 96);
  EXPECT_EQ(layout->text_height, 13);
  ASSERT_EQ(layout->components.size(), 2u);
  const auto& box = layout->components[0];
  EXPECT_EQ(box.kind, ComponentKind::GroupBox);
  EXPECT_EQ(box.parent, "");  // the form
  const auto& go = layout->components[1];
  EXPECT_EQ(go.name, "Go");
  EXPECT_EQ(go.parent, "Box");
  EXPECT_EQ(go.bounds, (Bounds{3, 4, 20, 10}));
  EXPECT_EQ(go.tab_order, 0);
  EXPECT_EQ(go.on_click, "GoClick");
}

TEST(LayoutParse, RefusesFaultsWithTheirLine) {
  const std::string form = "form F\n position 0 0\n client-size 1 1\n font \"T\" -11\n";
  struct Case {
    const char* name;
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"empty", "", "no form section"},
      {"property first", "caption \"x\"\nform F\n", "line 1: a layout starts with its form"},
      {"two forms", form + "form G\n", "line 5: only one form section"},
      {"form lacks font", "form F\n position 0 0\n client-size 1 1\nbutton B\n",
       "line 1: form needs font"},
      {"unterminated string", form + " caption \"abc\n", "line 5: unterminated string"},
      {"unknown escape", form + " caption \"a\\n\"\n", "line 5: unknown escape"},
      {"unknown property", form + " colour red\n", "line 5: unknown form property colour"},
      {"duplicate property", form + " position 1 1\n", "line 5: duplicate property position"},
      {"not an integer", "form F\n position 0 x\n", "line 2: position: 'x' is no integer"},
      {"integer overflow", "form F\n position 0 2147483648\n", "line 2: position: '2147483648'"},
      {"negative size", form + "edit E\n parent F\n position 0 0\n size -1 2\n",
       "line 8: size must not be negative"},
      {"parent unknown", form + "edit E\n parent G\n", "line 6: parent G is neither"},
      {"parent not a group",
       form + "edit E\n parent F\n position 0 0\n size 1 1\n"
              "edit D\n parent E\n",
       "line 10: parent E is neither"},
      {"missing size", form + "edit E\n parent F\n position 0 0\n", "line 5: E needs size"},
      {"duplicate name", form + "edit F\n", "line 5: duplicate name F"},
      {"label tab stop", form + "label L\n tab-order 0\n", "line 6: a label is no tab stop"},
      {"click on edit", form + "edit E\n on-click X\n", "line 6: only a button has on-click"},
      {"bad name", form + "button 1B\n", "line 5: button needs one name"},
      {"tab order taken",
       form + "edit A\n parent F\n position 0 0\n size 1 1\n tab-order 0\n"
              "edit B\n parent F\n position 0 0\n size 1 1\n tab-order 0\n",
       "B: tab-order 0 is taken"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    EXPECT_FALSE(ParseLayout(c.text, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

TEST(LayoutParse, ToleratesCarriageReturnsAndComments) {
  std::string error;
  auto layout = ParseLayout(
      "form F\r\n  # a comment\r\n  position 0 0\r\n  client-size 1 1\r\n  font \"T\" 8\r\n",
      &error);
  ASSERT_TRUE(layout) << error;
  EXPECT_EQ(layout->font_height, 8);
}

TEST(LayoutMetrics, MulDivRoundsHalfAwayFromZero) {
  struct Case {
    std::int32_t v, n, d, expected;
  };
  const Case cases[] = {{-11, 120, 96, -14}, {3, 1, 2, 2},  {-3, 1, 2, -2},
                        {254, 16, 13, 313},  {5, 1, 3, 2},  {1, 1, 3, 0},
                        {7, 0, 1, 0},        {1, 1, 0, -1}, {INT32_MAX, 2, 1, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.v << "*" << c.n << "/" << c.d);
    EXPECT_EQ(platform::MulDiv(c.v, c.n, c.d), c.expected);
  }
}

TEST(LayoutMetrics, ScalesFontByPpiAndGeometryByTextHeight) {
  std::string error;
  struct Case {
    const char* name;
    std::int32_t ppi;
    std::int32_t measured;  // text height the screen reports
    std::int32_t font_height;
    std::int32_t client_width;
    Bounds go;
  };
  const Case cases[] = {
      {"as designed", 96, 13, -11, 100, {3, 4, 20, 10}},
      {"120 ppi, text 16", 120, 16, -14, 123, {4, 5, 25, 12}},
      {"96 ppi, other font 26", 96, 26, -11, 200, {6, 8, 40, 20}},
      {"144 ppi, text still 13", 144, 13, -17, 100, {3, 4, 20, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto layout = ParseLayout(kSmall, &error);
    ASSERT_TRUE(layout) << error;
    std::int32_t asked_height = 0;
    ApplyDesignMetrics(*layout, c.ppi, [&](const std::string& face, std::int32_t height) {
      EXPECT_EQ(face, "Tahoma");
      asked_height = height;
      return c.measured;
    });
    EXPECT_EQ(asked_height, c.font_height);
    EXPECT_EQ(layout->font_height, c.font_height);
    EXPECT_EQ(layout->client_width, c.client_width);
    EXPECT_EQ(layout->components[1].bounds, c.go);
    EXPECT_EQ(layout->left, -5);  // the screen position stays as designed
  }
}

}  // namespace
