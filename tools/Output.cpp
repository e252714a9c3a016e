#include "Output.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "Stop.h"
#include "params/ParameterUnit.h"

namespace qx25::tools {

Node Node::Bool(bool Value) {
  Node n;
  n.What = Kind::Bool;
  n.Flag = Value;
  return n;
}

Node Node::Integer(int64_t Value) {
  Node n;
  n.What = Kind::Integer;
  n.Whole = Value;
  return n;
}

Node Node::Number(double Value, int Decimals, std::string Unit) {
  Node n;
  n.What = Kind::Number;
  n.Real = Value;
  n.Places = std::clamp(Decimals, 0, 15);
  n.Units = std::move(Unit);
  return n;
}

Node Node::Text(std::string Value) {
  Node n;
  n.What = Kind::Text;
  n.String = std::move(Value);
  return n;
}

Node Node::Object() {
  Node n;
  n.What = Kind::Object;
  return n;
}

Node Node::Array() {
  Node n;
  n.What = Kind::Array;
  return n;
}

Node& Node::Add(std::string Key, Node Value) {
  Members.emplace_back(std::move(Key), std::move(Value));
  return *this;
}

Node& Node::Push(Node Value) {
  Items.push_back(std::move(Value));
  return *this;
}

std::string Node::Scalar() const {
  switch (What) {
    case Kind::Bool:
      return Flag ? "true" : "false";
    case Kind::Integer:
      return std::to_string(Whole);
    case Kind::Number: {
      // to_chars ignores the locale: JSON and the text agree on the point.
      if (!std::isfinite(Real)) return "null";
      char buffer[64];
      const auto end =
          std::to_chars(buffer, buffer + sizeof buffer, Real, std::chars_format::fixed, Places);
      return end.ec == std::errc() ? std::string(buffer, end.ptr) : "null";
    }
    case Kind::Text:
      return String;
    default:
      return {};
  }
}

std::string UserDecimal(std::string Text) {
  if (const size_t point = Text.find('.'); point != std::string::npos)
    Text.replace(point, 1, NumberFormat().DecimalSeparator);
  return Text;
}

namespace {

constexpr size_t kMaxCellWidth = 60;

void AppendJsonString(std::string& Out, const std::string& Text) {
  static const char kHex[] = "0123456789abcdef";
  Out += '"';
  for (const unsigned char c : Text) {
    switch (c) {
      case '"':
        Out += "\\\"";
        break;
      case '\\':
        Out += "\\\\";
        break;
      case '\n':
        Out += "\\n";
        break;
      case '\r':
        Out += "\\r";
        break;
      case '\t':
        Out += "\\t";
        break;
      default:
        if (c < 0x20) {
          Out += "\\u00";
          Out += kHex[c >> 4];
          Out += kHex[c & 0x0F];
        } else {
          Out += static_cast<char>(c);
        }
    }
  }
  Out += '"';
}

void AppendJson(std::string& Out, const Node& Value, int Depth) {
  const std::string inner(2 * (Depth + 1), ' ');
  const std::string outer(2 * Depth, ' ');
  switch (Value.Type()) {
    case Node::Kind::Null:
      Out += "null";
      break;
    case Node::Kind::Text:
      AppendJsonString(Out, Value.Scalar());
      break;
    case Node::Kind::Object:
    case Node::Kind::Array: {
      // Members and items alike: one to a line, indented by depth.
      const bool object = Value.Type() == Node::Kind::Object;
      const size_t count = object ? Value.Fields().size() : Value.Elements().size();
      Out += object ? '{' : '[';
      for (size_t i = 0; i < count; ++i) {
        Out += (i == 0 ? "\n" : ",\n") + inner;
        if (object) {
          AppendJsonString(Out, Value.Fields()[i].first);
          Out += ": ";
        }
        AppendJson(Out, object ? Value.Fields()[i].second : Value.Elements()[i], Depth + 1);
      }
      if (count > 0) Out += "\n" + outer;
      Out += object ? '}' : ']';
      break;
    }
    default:
      Out += Value.Scalar();
  }
}

std::string Label(const std::string& Key) {
  std::string label = Key;
  std::replace(label.begin(), label.end(), '_', ' ');
  return label;
}

bool IsScalar(const Node& Value) {
  return Value.Type() != Node::Kind::Object && Value.Type() != Node::Kind::Array;
}

bool IsNumeric(const Node& Value) {
  return Value.Type() == Node::Kind::Integer || Value.Type() == Node::Kind::Number;
}

// What a person sees of a scalar: a dash for nothing, a number with its unit,
// its decimal separator the one parameter values are shown with.
std::string Shown(const Node& Value) {
  if (Value.Type() == Node::Kind::Null) return "-";
  if (Value.Type() == Node::Kind::Array) {
    // A list of scalars in a table cell, as a member's list reads.
    std::string list;
    for (const Node& item : Value.Elements())
      if (IsScalar(item)) list += (list.empty() ? "" : ", ") + Shown(item);
    return list;
  }
  const std::string scalar =
      Value.Type() == Node::Kind::Number ? UserDecimal(Value.Scalar()) : Value.Scalar();
  return Value.Unit().empty() ? scalar : scalar + " " + Value.Unit();
}

// A table cell cut to Width columns, so that one long text (some units run
// to eighty characters) does not push the other columns off the screen.
std::string Fit(const std::string& Text, size_t Width) {
  if (TextWidth(Text) <= Width) return Text;
  std::string out;
  size_t columns = 0;
  for (const char c : Text) {
    const bool starts = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (starts && ++columns == Width) break;
    out += c;
  }
  return out + "\u2026";
}

std::string Pad(const std::string& Text, size_t Width, bool Right) {
  const size_t w = TextWidth(Text);
  const std::string fill(w < Width ? Width - w : 0, ' ');
  return Right ? fill + Text : Text + fill;
}

// An array of objects as a table: one column per key, in the order the keys
// first appear.
void AppendTable(std::string& Out, const Node& Rows, const std::string& Indent, bool Cut) {
  std::vector<std::string> keys;
  for (const Node& row : Rows.Elements())
    for (const auto& field : row.Fields())
      if (std::find(keys.begin(), keys.end(), field.first) == keys.end())
        keys.push_back(field.first);
  auto cell = [](const Node& Row, const std::string& Key) -> const Node* {
    for (const auto& [key, value] : Row.Fields())
      if (key == Key) return &value;
    return nullptr;
  };
  // The last column pushes nothing off the screen, so it is never cut: a
  // status there is read whole.
  auto cellText = [&](const Node& Row, const std::string& Key) {
    const Node* value = cell(Row, Key);
    if (!value) return std::string();
    return Key == keys.back() || !Cut ? Shown(*value) : Fit(Shown(*value), kMaxCellWidth);
  };
  std::vector<size_t> widths;
  std::vector<bool> right;
  for (const std::string& key : keys) {
    size_t width = TextWidth(Label(key));
    bool numeric = true;
    for (const Node& row : Rows.Elements()) {
      const Node* value = cell(row, key);
      if (!value) continue;
      width = std::max(width, TextWidth(cellText(row, key)));
      numeric = numeric && (IsNumeric(*value) || value->Type() == Node::Kind::Null);
    }
    widths.push_back(width);
    right.push_back(numeric);
  }
  auto line = [&](auto&& Text) {
    std::string text = Indent;
    for (size_t i = 0; i < keys.size(); ++i) {
      if (i) text += "  ";
      text += Pad(Text(i), widths[i], right[i]);
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    Out += text + "\n";
  };
  line([&](size_t i) { return Label(keys[i]); });
  for (const Node& row : Rows.Elements()) line([&](size_t i) { return cellText(row, keys[i]); });
}

void AppendText(std::string& Out, const Node& Value, const std::string& Indent, bool Cut) {
  if (IsScalar(Value)) {
    Out += Indent + Shown(Value) + "\n";
    return;
  }
  if (Value.Type() == Node::Kind::Array) {
    const bool rows = std::all_of(Value.Elements().begin(), Value.Elements().end(),
                                  [](const Node& n) { return n.Type() == Node::Kind::Object; });
    if (rows && !Value.Elements().empty()) {  // no rows, no table: not even a blank line
      AppendTable(Out, Value, Indent, Cut);
    } else {
      for (const Node& item : Value.Elements()) AppendText(Out, item, Indent, Cut);
    }
    return;
  }
  size_t width = 0;
  for (const auto& [key, member] : Value.Fields())
    if (IsScalar(member)) width = std::max(width, TextWidth(Label(key)));
  for (const auto& [key, member] : Value.Fields()) {
    if (IsScalar(member)) {
      Out += Indent + Pad(Label(key) + ":", width + 1, false) + " " + Shown(member) + "\n";
    } else if (member.Type() == Node::Kind::Array &&
               std::all_of(member.Elements().begin(), member.Elements().end(), IsScalar)) {
      std::string list;
      for (const Node& item : member.Elements()) list += (list.empty() ? "" : ", ") + Shown(item);
      Out += Indent + Pad(Label(key) + ":", width + 1, false) + " " + list + "\n";
    } else {
      Out += Indent + Label(key) + ":\n";
      AppendText(Out, member, Indent + "  ", Cut);
    }
  }
}

}  // namespace

std::string ToJson(const Node& Value) {
  std::string out;
  AppendJson(out, Value, 0);
  return out + "\n";
}

std::string ToText(const Node& Value, bool Cut) {
  std::string out;
  AppendText(out, Value, "", Cut);
  return out;
}

bool Print(const Node& Value, bool Json, std::FILE* Out) {
  // Cells are cut only for a person's screen: a file or a pipe gets them whole.
  const std::string text = Json ? ToJson(Value) : ToText(Value, isatty(fileno(Out)) == 1);
  const bool written = std::fwrite(text.data(), 1, text.size(), Out) == text.size();
  return std::fflush(Out) == 0 && written && !std::ferror(Out);
}

size_t TextWidth(const std::string& Text) {
  // Continuation bytes (10xxxxxx) do not start a character.
  return static_cast<size_t>(std::count_if(Text.begin(), Text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

LiveLine::LiveLine(std::FILE* Out, bool Erase)
    : Stream(Out), InPlace(isatty(fileno(Out)) == 1), EraseAtEnd(Erase) {}

LiveLine::~LiveLine() { Finish(); }

namespace {

// Columns of the terminal Out is on; 0 when it does not say.
size_t TerminalColumns(std::FILE* Out) {
  winsize size{};
  if (ioctl(fileno(Out), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

}  // namespace

std::string CutToWidth(const std::string& Text, size_t Columns) {
  size_t seen = 0;
  for (size_t i = 0; i < Text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(Text[i]);
    if ((byte & 0xC0) == 0x80) continue;  // within a code point
    if (seen == Columns) return Text.substr(0, i);
    ++seen;
  }
  return Text;
}

void LiveLine::Show(const std::string& Text) {
  if (Text == Last) return;
  Last = Text;
  bool written = true;
  if (InPlace) {
    // A line wider than the terminal would wrap, and \r would then rewrite
    // only its last row; the last column is left free for the cursor.
    const size_t columns = TerminalColumns(Stream);
    const std::string shown = columns > 1 ? CutToWidth(Text, columns - 1) : Text;
    // Erase to the end of the line so that a shorter text leaves nothing behind.
    written = std::fprintf(Stream, "\r%s\033[K", shown.c_str()) >= 0;
    Open = true;
  } else {
    written = std::fprintf(Stream, "%s\n", Text.c_str()) >= 0;
  }
  if (std::fflush(Stream) != 0 || !written) OutputLost();
}

void LiveLine::Finish() {
  if (Open) std::fputs(EraseAtEnd ? "\r\033[K" : "\n", Stream);
  Open = false;
}

}  // namespace qx25::tools
