// What qx25ctl prints. Every command builds its result as one tree of values,
// and that tree is printed either as text for a person or as JSON for a
// script, so the two never disagree. Progress and errors go to stderr.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace qx25::tools {

// A result value: a scalar, an object with ordered members, or an array.
class Node {
 public:
  enum class Kind { Null, Bool, Integer, Number, Text, Object, Array };

  Node() = default;  // null
  static Node Bool(bool Value);
  static Node Integer(int64_t Value);
  // A number written with exactly Decimals digits after the point; the text
  // shows Unit after it ("25 L"), JSON the bare number.
  static Node Number(double Value, int Decimals, std::string Unit = {});
  static Node Text(std::string Value);
  static Node Object();
  static Node Array();

  // Appends a member to an object (in text, the key's '_' read as spaces).
  Node& Add(std::string Key, Node Value);
  // Appends an item to an array.
  Node& Push(Node Value);

  Kind Type() const { return What; }
  bool Empty() const { return Members.empty() && Items.empty(); }
  // The scalar as text, as both outputs show it; empty for null.
  std::string Scalar() const;
  // The unit the text shows after a number; empty for none.
  const std::string& Unit() const { return Units; }
  const std::vector<std::pair<std::string, Node>>& Fields() const { return Members; }
  const std::vector<Node>& Elements() const { return Items; }

 private:
  Kind What = Kind::Null;
  bool Flag = false;
  int64_t Whole = 0;
  double Real = 0;
  int Places = 0;
  std::string Units;
  std::string String;
  std::vector<std::pair<std::string, Node>> Members;
  std::vector<Node> Items;
};

// A number printed in the "C" locale's form ("25.70") with the user's decimal
// separator instead, as the parameter values beside it show theirs; text only.
std::string UserDecimal(std::string Text);

std::string ToJson(const Node& Value);
// Objects as aligned "key: value" lines (nested objects indented), arrays of
// objects as tables, arrays of scalars as comma-separated lists. With Cut, a
// table's long cells but the last column's are cut to 60 columns.
std::string ToText(const Node& Value, bool Cut = true);
// Tables are cut (ToText) only on a terminal. Returns false when the output
// could not be written (a full disk, a closed pipe), with errno telling why.
bool Print(const Node& Value, bool Json, std::FILE* Out = stdout);

// Width of UTF-8 text in terminal columns, counting one per code point.
size_t TextWidth(const std::string& Text);

// Text cut to its first Columns code points.
std::string CutToWidth(const std::string& Text, size_t Columns);

// A line of a running operation, rewritten in place on a terminal; elsewhere
// printed only when it changes. A line wider than the terminal is cut to it.
// A line that cannot be written stops the run (see Stop.h). Finish ends it on a terminal: kept on
// its own line, or (Erase) wiped, for a line that only shows how far a run has come.
class LiveLine {
 public:
  explicit LiveLine(std::FILE* Out = stdout, bool Erase = false);
  ~LiveLine();
  void Show(const std::string& Text);
  void Finish();

 private:
  std::FILE* Stream;
  bool InPlace;
  bool EraseAtEnd;
  std::string Last;
  bool Open = false;
};

// Progress of a run over a known number of steps, on stderr.
class Progress {
 public:
  explicit Progress(int Total) : Count(Total), Line(stderr, true) {}
  void Step(int Done, const std::string& What) {
    Line.Show("[" + std::to_string(Done) + "/" + std::to_string(Count) + "] " + What);
  }
  void Finish() { Line.Finish(); }

 private:
  int Count;
  LiveLine Line;
};

}  // namespace qx25::tools
