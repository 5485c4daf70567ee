#include "platform/layout.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <set>

namespace platform {
namespace {

struct Token {
  std::string text;
  bool quoted = false;
};

// Splits one line into words and quoted strings. Returns false on an
// unterminated string or an unknown escape.
bool Tokenize(std::string_view line, std::vector<Token>* tokens, std::string* why) {
  std::size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == '"') {
      Token t{"", true};
      ++i;
      bool closed = false;
      while (i < line.size()) {
        const char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d == '\\') {
          if (i >= line.size() || (line[i] != '"' && line[i] != '\\')) {
            *why = "unknown escape in string";
            return false;
          }
          t.text += line[i++];
          continue;
        }
        t.text += d;
      }
      if (!closed) {
        *why = "unterminated string";
        return false;
      }
      tokens->push_back(std::move(t));
    } else {
      Token t;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
             line[i] != '"')
        t.text += line[i++];
      tokens->push_back(std::move(t));
    }
  }
  return true;
}

bool ParseInt(const Token& token, std::int32_t* value) {
  if (token.quoted || token.text.empty()) return false;
  const char* first = token.text.data();
  const char* last = first + token.text.size();
  auto [end, ec] = std::from_chars(first, last, *value);
  return ec == std::errc() && end == last;
}

bool ParseBool(const Token& token, bool* value) {
  if (token.quoted) return false;
  if (token.text == "yes") return *value = true, true;
  if (token.text == "no") return *value = false, true;
  return false;
}

bool IsValidName(const Token& token) {
  if (token.quoted || token.text.empty()) return false;
  for (std::size_t i = 0; i < token.text.size(); ++i) {
    const char c = token.text[i];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

std::optional<ComponentKind> KindOf(std::string_view word) {
  if (word == "button") return ComponentKind::Button;
  if (word == "edit") return ComponentKind::Edit;
  if (word == "label") return ComponentKind::Label;
  if (word == "groupbox") return ComponentKind::GroupBox;
  return std::nullopt;
}

class Parser {
 public:
  std::optional<FormLayout> Run(std::string_view text, std::string* error) {
    std::size_t line_start = 0;
    while (line_start <= text.size()) {
      std::size_t line_end = text.find('\n', line_start);
      if (line_end == std::string_view::npos) line_end = text.size();
      ++line_number_;
      if (!Line(text.substr(line_start, line_end - line_start))) {
        *error = "line " + std::to_string(error_line_) + ": " + why_;
        return std::nullopt;
      }
      line_start = line_end + 1;
    }
    if (!have_form_) {
      *error = "no form section";
      return std::nullopt;
    }
    if (!FinishSection()) {
      *error = "line " + std::to_string(error_line_) + ": " + why_;
      return std::nullopt;
    }
    return std::move(layout_);
  }

 private:
  bool Fail(std::string why) {
    why_ = std::move(why);
    error_line_ = line_number_;
    return false;
  }

  bool Line(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos || line[first] == '#') return true;
    std::vector<Token> tokens;
    std::string why;
    if (!Tokenize(line, &tokens, &why)) return Fail(why);
    const Token& head = tokens.front();
    const std::vector<Token> args(tokens.begin() + 1, tokens.end());
    if (!head.quoted && (head.text == "form" || KindOf(head.text))) return Section(head.text, args);
    if (!have_form_) return Fail("a layout starts with its form section");
    return Property(head, args);
  }

  bool Section(const std::string& kind, const std::vector<Token>& args) {
    if (args.size() != 1 || !IsValidName(args[0])) return Fail(kind + " needs one name");
    if (have_form_ && !FinishSection()) return false;
    section_line_ = line_number_;
    seen_.clear();
    const std::string& name = args[0].text;
    if (kind == "form") {
      if (have_form_) return Fail("only one form section is allowed");
      have_form_ = true;
      in_form_ = true;
      layout_.name = name;
      names_.insert(name);
      return true;
    }
    if (!have_form_) return Fail("a layout starts with its form section");
    if (!names_.insert(name).second) return Fail("duplicate name " + name);
    in_form_ = false;
    ComponentLayout c;
    c.kind = *KindOf(kind);
    c.name = name;
    layout_.components.push_back(std::move(c));
    return true;
  }

  // Checks what a section must hold once all of its lines have been read;
  // a fault is reported at the section's first line.
  bool FinishSection() {
    if (Complete()) return true;
    error_line_ = section_line_;
    return false;
  }

  bool Complete() {
    if (in_form_) {
      for (const char* key : {"position", "client-size", "font"})
        if (!seen_.count(key)) return Fail(std::string("form needs ") + key);
      return true;
    }
    const ComponentLayout& c = layout_.components.back();
    for (const char* key : {"parent", "position", "size"})
      if (!seen_.count(key)) return Fail(c.name + " needs " + key);
    return true;
  }

  bool Property(const Token& key_token, const std::vector<Token>& args) {
    if (key_token.quoted) return Fail("a property name is not quoted");
    const std::string& key = key_token.text;
    if (!seen_.insert(key).second) return Fail("duplicate property " + key);
    return in_form_ ? FormProperty(key, args) : ComponentProperty(key, args);
  }

  bool OneString(const std::vector<Token>& args, std::string* out, const std::string& key) {
    if (args.size() != 1 || !args[0].quoted) return Fail(key + " takes one quoted string");
    *out = args[0].text;
    return true;
  }

  bool Ints(const std::vector<Token>& args, std::size_t n, std::int32_t* out,
            const std::string& key) {
    if (args.size() != n) return Fail(key + " takes " + std::to_string(n) + " integers");
    for (std::size_t i = 0; i < n; ++i)
      if (!ParseInt(args[i], &out[i])) return Fail(key + ": '" + args[i].text + "' is no integer");
    return true;
  }

  bool Size(const std::vector<Token>& args, std::int32_t* w, std::int32_t* h,
            const std::string& key) {
    std::int32_t v[2];
    if (!Ints(args, 2, v, key)) return false;
    if (v[0] < 0 || v[1] < 0) return Fail(key + " must not be negative");
    *w = v[0];
    *h = v[1];
    return true;
  }

  bool Flag(const std::vector<Token>& args, bool* out, const std::string& key) {
    if (args.size() != 1 || !ParseBool(args[0], out)) return Fail(key + " takes yes or no");
    return true;
  }

  bool FormProperty(const std::string& key, const std::vector<Token>& args) {
    FormLayout& f = layout_;
    if (key == "caption") return OneString(args, &f.caption, key);
    if (key == "border") {
      if (args.size() == 1 && !args[0].quoted && args[0].text == "dialog")
        return f.border = BorderStyle::Dialog, true;
      if (args.size() == 1 && !args[0].quoted && args[0].text == "sizeable")
        return f.border = BorderStyle::Sizeable, true;
      return Fail("border takes dialog or sizeable");
    }
    if (key == "stay-on-top") return Flag(args, &f.stay_on_top, key);
    if (key == "visible") return Flag(args, &f.visible, key);
    if (key == "position") {
      std::int32_t v[2];
      if (!Ints(args, 2, v, key)) return false;
      f.left = v[0];
      f.top = v[1];
      return true;
    }
    if (key == "client-size") return Size(args, &f.client_width, &f.client_height, key);
    if (key == "color") {
      if (args.size() == 1 && !args[0].quoted && args[0].text == "button-face")
        return f.color = FormColor::ButtonFace, true;
      if (args.size() == 1 && !args[0].quoted && args[0].text == "window")
        return f.color = FormColor::Window, true;
      return Fail("color takes button-face or window");
    }
    if (key == "font") {
      if (args.size() != 2 || !args[0].quoted || args[0].text.empty() ||
          !ParseInt(args[1], &f.font_height) || f.font_height == 0)
        return Fail("font takes a quoted face name and a non-zero height");
      f.font_name = args[0].text;
      return true;
    }
    if (key == "design-ppi" || key == "text-height") {
      std::int32_t v;
      if (!Ints(args, 1, &v, key)) return false;
      if (v <= 0) return Fail(key + " must be positive");
      (key == "design-ppi" ? f.design_ppi : f.text_height) = v;
      return true;
    }
    return Fail("unknown form property " + key);
  }

  bool ComponentProperty(const std::string& key, const std::vector<Token>& args) {
    ComponentLayout& c = layout_.components.back();
    if (key == "parent") {
      if (args.size() != 1 || !IsValidName(args[0])) return Fail("parent takes one name");
      const std::string& p = args[0].text;
      if (p == layout_.name) return true;  // the form: stored as empty
      const ComponentLayout* parent = layout_.Find(p);
      if (parent == nullptr || parent == &c || parent->kind != ComponentKind::GroupBox)
        return Fail("parent " + p + " is neither the form nor an earlier group box");
      c.parent = p;
      return true;
    }
    if (key == "text") return OneString(args, &c.text, key);
    if (key == "position") {
      std::int32_t v[2];
      if (!Ints(args, 2, v, key)) return false;
      c.bounds.left = v[0];
      c.bounds.top = v[1];
      return true;
    }
    if (key == "size") return Size(args, &c.bounds.width, &c.bounds.height, key);
    if (key == "tab-order") {
      if (c.kind == ComponentKind::Label) return Fail("a label is no tab stop");
      if (!Ints(args, 1, &c.tab_order, key)) return false;
      if (c.tab_order < 0) return Fail("tab-order must not be negative");
      return true;
    }
    if (key == "on-click") {
      if (c.kind != ComponentKind::Button) return Fail("only a button has on-click");
      if (args.size() != 1 || !IsValidName(args[0])) return Fail("on-click takes a handler name");
      c.on_click = args[0].text;
      return true;
    }
    return Fail("unknown property " + key + " of " + c.name);
  }

  FormLayout layout_;
  bool have_form_ = false;
  bool in_form_ = false;
  int line_number_ = 0;
  int section_line_ = 0;
  int error_line_ = 0;
  std::set<std::string> seen_;
  std::set<std::string> names_;
  std::string why_;
};

}  // namespace

const ComponentLayout* FormLayout::Find(std::string_view component) const {
  for (const ComponentLayout& c : components)
    if (c.name == component) return &c;
  return nullptr;
}

std::optional<FormLayout> ParseLayout(std::string_view text, std::string* error) {
  Parser parser;
  std::optional<FormLayout> layout = parser.Run(text, error);
  if (!layout) return layout;
  // Tab orders are unique among the children of one parent.
  std::set<std::pair<std::string, std::int32_t>> tabs;
  for (const ComponentLayout& c : layout->components) {
    if (c.tab_order >= 0 && !tabs.insert({c.parent, c.tab_order}).second) {
      *error = c.name + ": tab-order " + std::to_string(c.tab_order) + " is taken";
      return std::nullopt;
    }
  }
  return layout;
}

std::int32_t MulDiv(std::int32_t value, std::int32_t numerator, std::int32_t denominator) {
  if (denominator == 0) return -1;
  const std::int64_t product = std::int64_t{value} * numerator;
  const bool negative = (product < 0) != (denominator < 0);
  const std::int64_t p = product < 0 ? -product : product;
  const std::int64_t d = denominator < 0 ? -std::int64_t{denominator} : denominator;
  std::int64_t q = (p + d / 2) / d;
  if (negative) q = -q;
  if (q > std::numeric_limits<std::int32_t>::max() || q < std::numeric_limits<std::int32_t>::min())
    return -1;
  return static_cast<std::int32_t>(q);
}

void ScaleComponents(FormLayout& layout, std::int32_t numerator, std::int32_t denominator) {
  for (ComponentLayout& c : layout.components) {
    c.bounds.left = MulDiv(c.bounds.left, numerator, denominator);
    c.bounds.top = MulDiv(c.bounds.top, numerator, denominator);
    c.bounds.width = MulDiv(c.bounds.width, numerator, denominator);
    c.bounds.height = MulDiv(c.bounds.height, numerator, denominator);
  }
  layout.client_width = MulDiv(layout.client_width, numerator, denominator);
  layout.client_height = MulDiv(layout.client_height, numerator, denominator);
}

}  // namespace platform
