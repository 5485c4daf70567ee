// The dialog's field texts and what "Create Model" makes of them: one table,
// run by the headless suite against the headless back end and by the wine
// suite through the real window system. Each suite opens an image of
// kCaseImageWidth x kCaseImageHeight with the point (kCaseX, kCaseY)
// selected, activates the plug-in, types the fields and clicks.
#pragma once

#include <cstdint>

namespace command_cases {

inline constexpr std::int32_t kCaseImageWidth = 16;
inline constexpr std::int32_t kCaseImageHeight = 12;
inline constexpr std::int32_t kCaseX = 6;
inline constexpr std::int32_t kCaseY = 5;

inline constexpr unsigned kErrorStyle =
    0x42010;  // MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_TOPMOST
inline constexpr unsigned kInfoStyle =
    0x42040;  // MB_OK | MB_ICONINFORMATION | MB_TASKMODAL | MB_TOPMOST
inline constexpr unsigned kErrorDisplayStyle = 0x10;       // MB_OK | MB_ICONERROR
inline constexpr char kErrorDisplayCaption[] = "Hostapp";  // the test executables' title

struct FieldTexts {
  const char* peak;
  const char* x;
  const char* y;
  const char* radius;
};

// A refused case shows one box (caption, text, style) and issues only
// operation 16; an accepted one (text null) shows none, issues 16 1 8 0 14 0 2
// and hands over the model the engine renders for the fields, `peak` in its
// centre pixel. The fields keep their texts either way.
struct FieldCase {
  const char* name;
  bool image_open;
  FieldTexts fields;
  const char* caption;
  const char* text;
  unsigned style;
  float peak;
};

inline constexpr char kRefusedCodes[] = "16";
inline constexpr char kAcceptedCodes[] = "16 1 8 0 14 0 2";

inline constexpr FieldCase kFieldCases[] = {
    // Refused.
    {"no image: fields not read",
     false,
     {"x", "abc", "", "y"},
     "Error",
     "Please open an image.",
     kErrorStyle,
     0},
    {"X not an integer",
     true,
     {"0", "abc", "5", "10"},
     kErrorDisplayCaption,
     "'abc' is not a valid integer value.",
     kErrorDisplayStyle,
     0},
    {"peak with a point",
     true,
     {"12.5", "6", "5", "10"},
     kErrorDisplayCaption,
     "'12.5' is not a valid integer value.",
     kErrorDisplayStyle,
     0},
    {"empty radius",
     true,
     {"0", "6", "5", ""},
     kErrorDisplayCaption,
     "'' is not a valid integer value.",
     kErrorDisplayStyle,
     0},
    {"trailing space",
     true,
     {"0", "42 ", "5", "10"},
     kErrorDisplayCaption,
     "'42 ' is not a valid integer value.",
     kErrorDisplayStyle,
     0},
    {"bare 0x",
     true,
     {"0", "6", "0x", "10"},
     kErrorDisplayCaption,
     "'0x' is not a valid integer value.",
     kErrorDisplayStyle,
     0},
    {"decimal out of range",
     true,
     {"0", "2147483648", "5", "10"},
     kErrorDisplayCaption,
     "'2147483648' is not a valid integer value.",
     kErrorDisplayStyle,
     0},
    {"peak read first",
     true,
     {"p?", "x?", "y?", "r?"},
     kErrorDisplayCaption,
     "'p?' is not a valid integer value.",
     kErrorDisplayStyle,
     0},
    {"X read before Y",
     true,
     {"1", "x?", "y?", "r?"},
     kErrorDisplayCaption,
     "'x?' is not a valid integer value.",
     kErrorDisplayStyle,
     0},
    {"X hides a failing radius",
     true,
     {"0", "abc", "5", ""},
     kErrorDisplayCaption,
     "'abc' is not a valid integer value.",
     kErrorDisplayStyle,
     0},
    {"Y read before the radius",
     true,
     {"1", "6", "y?", "r?"},
     kErrorDisplayCaption,
     "'y?' is not a valid integer value.",
     kErrorDisplayStyle,
     0},
    {"radius read last",
     true,
     {"1", "6", "5", "r?"},
     kErrorDisplayCaption,
     "'r?' is not a valid integer value.",
     kErrorDisplayStyle,
     0},
    {"centre (0, 0)",
     true,
     {"0", "0", "0", "3"},
     "Information",
     "Please select a point as coma centroid",
     kInfoStyle,
     0},
    {"centre checked before the radius",
     true,
     {"0", "0", "0", "40000"},
     "Information",
     "Please select a point as coma centroid",
     kInfoStyle,
     0},
    {"radius beyond the profile",
     true,
     {"0", "6", "5", "40000"},
     "Error",
     "Max radius must be 39999 or less.",
     kErrorStyle,
     0},
    // Accepted.
    {"peak rounds to the nearest float",
     true,
     {"16777217", "6", "5", "3"},
     nullptr,
     nullptr,
     0,
     16777216.0f},
    {"negative peak", true, {"-5", "6", "5", "3"}, nullptr, nullptr, 0, -5.0f},
    {"leading spaces", true, {"  42", "6", "5", "3"}, nullptr, nullptr, 0, 42.0f},
    {"plus sign", true, {"+5", "6", "5", "3"}, nullptr, nullptr, 0, 5.0f},
    {"hexadecimal with $", true, {"$FF", "6", "5", "3"}, nullptr, nullptr, 0, 255.0f},
    {"negative 0x", true, {"-0x10", "6", "5", "3"}, nullptr, nullptr, 0, -16.0f},
    {"eight hex digits", true, {"$FFFFFFFF", "6", "5", "3"}, nullptr, nullptr, 0, -1.0f},
    {"one coordinate 0 is a centre", true, {"7", "0", "5", "3"}, nullptr, nullptr, 0, 7.0f},
    {"centre outside the image", true, {"7", "-7", "0", "3"}, nullptr, nullptr, 0, 7.0f},
    {"radius 0: the centre pixel only", true, {"9", "6", "5", "0"}, nullptr, nullptr, 0, 9.0f},
    {"negative radius likewise", true, {"9", "6", "5", "-7"}, nullptr, nullptr, 0, 9.0f},
    {"the largest radius", true, {"1", "6", "5", "39999"}, nullptr, nullptr, 0, 1.0f},
};

}  // namespace command_cases
