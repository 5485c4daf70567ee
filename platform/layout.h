// A form's layout as stored in the module: a readable text resource, one
// section per component, parsed here without any window system.
//
//   # comment
//   form Form3                      the root: the form itself, always first
//     caption     "Coma Model"
//     border      dialog            dialog | sizeable
//     stay-on-top yes
//     position    458 178           outer top-left on the screen
//     client-size 254 188
//     color       button-face
//     font        "Tahoma" -11      face, height in pixels (negative: character height)
//     visible     yes
//     design-ppi  96                pixels per inch the layout was drawn at
//     text-height 13                the font's text height at design-ppi
//
//   button ButCreate                kinds: button, edit, label, groupbox
//     parent      Form3             the form or an earlier group box
//     text        "Create Model"
//     position    72 152            relative to the parent's client area
//     size        113 29            a label's: that of its caption in the form's
//                                   font; labels size themselves to their caption
//     tab-order   0                 within the parent; labels have none
//     on-click    ButCreateClick    buttons only: a handler of the form's class
//
// Strings are in double quotes, with \" and \\ as escapes. Sections are kept
// in the order written, which is the creation order of the controls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct Bounds {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  friend bool operator==(const Bounds&, const Bounds&) = default;
};

enum class ComponentKind { Button, Edit, Label, GroupBox };
enum class BorderStyle { Sizeable, Dialog };
enum class FormColor { Window, ButtonFace };

struct ComponentLayout {
  ComponentKind kind = ComponentKind::Button;
  std::string name;
  std::string parent;  // empty: the form
  std::string text;
  Bounds bounds;
  std::int32_t tab_order = -1;  // -1: not a tab stop
  std::string on_click;         // handler name, empty for none
};

struct FormLayout {
  std::string name;
  std::string caption;
  BorderStyle border = BorderStyle::Sizeable;
  bool stay_on_top = false;
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t client_width = 0;
  std::int32_t client_height = 0;
  FormColor color = FormColor::ButtonFace;
  std::string font_name;
  std::int32_t font_height = 0;
  bool visible = false;
  std::int32_t design_ppi = 96;
  std::int32_t text_height = 13;
  std::vector<ComponentLayout> components;

  const ComponentLayout* Find(std::string_view component) const;
};

// Parses a layout text; on failure returns nothing and sets *error to
// "line N: what is wrong".
std::optional<FormLayout> ParseLayout(std::string_view text, std::string* error);

// value * numerator / denominator rounded half away from zero, in 64 bits.
std::int32_t MulDiv(std::int32_t value, std::int32_t numerator, std::int32_t denominator);

// Adapts a layout drawn at design_ppi to a screen of `screen_ppi`: the font
// height scales by screen_ppi / design_ppi; when the text height that
// `measure` reports for the resulting font differs from text_height, every
// component's position and size and the client area scale by the ratio of
// the two. The form's screen position stays as designed.
template <class Measure>
void ApplyDesignMetrics(FormLayout& layout, std::int32_t screen_ppi, Measure measure);

void ScaleComponents(FormLayout& layout, std::int32_t numerator, std::int32_t denominator);

template <class Measure>
void ApplyDesignMetrics(FormLayout& layout, std::int32_t screen_ppi, Measure measure) {
  if (screen_ppi > 0 && screen_ppi != layout.design_ppi)
    layout.font_height = MulDiv(layout.font_height, screen_ppi, layout.design_ppi);
  const std::int32_t text_height = measure(layout.font_name, layout.font_height);
  if (text_height > 0 && text_height != layout.text_height)
    ScaleComponents(layout, text_height, layout.text_height);
}

}  // namespace platform
