// One parameter at a time: the editor a row gets, the raw value an edit
// commits, and a single read or write with what it leaves in record and bar.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/QX25.h"
#include "params/ParameterUnit.h"
#include "params/TypedNumber.h"

namespace qx25::ui {

// The editor over a "Запись" cell. A pair shows two number boxes side by side.
struct TEditorChoice {
  enum TKind { None, Number, Pair, List } Kind = None;
  // Number and the pair's first box; the pair's second box is Min2..Max2.
  int Decimals = 0;
  double Step = 1;
  double Min = 0, Max = 0, Start = 0;
  double Min2 = 0, Max2 = 0, Start2 = 0;
  // List: the items, the one selected (-1 none), and whether it can be opened.
  std::vector<std::string> Items;
  int Selected = -1;
  bool Enabled = true;
};
TEditorChoice EditorFor(const CParameter& P);

// What the technician left in the editor: the number boxes' texts as typed
// when Typed, else their values (a toolkit that keeps numbers, not texts).
struct TEdit {
  TEdit() = default;
  // The boxes' values alone, as a view that has no texts gives them.
  TEdit(double First, double Second = 0, int Chosen = -1)
      : Value(First), Value2(Second), Item(Chosen) {}
  double Value = 0, Value2 = 0;
  int Item = -1;
  bool Typed = false;
  std::string Text, Text2;
};
// The raw value the edit writes, or why it writes none: every edit is read by
// the one reader in params/, so an edit outside the limits is refused here.
qx25::params::TTypedValue ReadEdit(const CParameter& P, const TEdit& Edit);
// The number a number box of P's editor shows for Text (the scaled value, or
// the temperature), for a step from it; none when the reader refuses Text.
std::optional<double> ShownValue(const CParameter& P, std::string_view Text);
// ReadEdit's raw value. Throws std::out_of_range with the refusal when there is none.
int64_t CommittedRaw(const CParameter& P, const TEdit& Edit);
// The write confirmation's detail: caption, value and units, or the new
// address and the ID number; empty when the edit gives no value.
std::string ConfirmationDetail(const CParameter& P, const TEdit& Edit, int IdNumber);

// A rectangle in a view's pixels, right and bottom exclusive.
struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};
inline constexpr int kEditorHeight = 18;  // the least; a larger font gets more
inline constexpr int kValueBoxOutline = 2;
// The value box centred in a "Чтение" or "Запись" cell; its outline lies outside.
TRect ValueBox(const TRect& Cell, int BoxHeight);
// The editor over a "Запись" cell; Second is a pair's second box.
struct TEditorPlace {
  TRect First, Second;
};
TEditorPlace EditorPlace(const TRect& Cell, int EditorHeight, bool Pair);
// A shown row's height: its texts, the value box and the editor.
int RowHeight(int NameTextHeight, int LimitsTextHeight, int BoxHeight, int EditorHeight);

// Where single transfers go: the window's driver (may be none), port and address.
struct TTarget {
  TQX25* Driver = nullptr;
  int Port = 0;
  int Address = 0;
};

// The fields that say where transfers go, read from their texts as typed. A
// request goes to the numbers the fields show or nowhere: a text that does not
// read is refused, its field named, never brought into range.
inline constexpr int kPortMin = 1, kPortMax = 24;
inline constexpr int kAddressMin = 1, kAddressMax = 64;
inline constexpr int kIdNumberMin = 0, kIdNumberMax = 2147483647;
inline constexpr char kPortField[] = "№ СОМ-порта";
inline constexpr char kAddressField[] = "Адрес пистолета";
inline constexpr char kIdNumberField[] = "ID-номер";
struct TTargetRead {
  std::optional<TTarget> Target;
  std::string Refusal;  // "field: reason"; empty when Target holds one
  explicit operator bool() const { return Target.has_value(); }
  // Where a run goes meanwhile: nowhere, when the fields do not read.
  TTarget OrNoLine() const { return Target.value_or(TTarget{}); }
};
TTargetRead ReadTarget(TQX25* Driver, std::string_view PortText, std::string_view AddressText);
// The ID number a write of P carries: read from its field for the address
// record, the only one that sends it; 0 for any other, whatever the field holds.
qx25::params::TTypedValue IdNumberFor(const CParameter& P, std::string_view IdNumberText);

// Why a read failed when the line's device went away.
inline constexpr char kLineLost[] = "линия потеряна";

// Reads P into Value and ReadError; the value's text, empty when the read failed.
std::string ReadOne(const TTarget& Line, CParameter& P);

enum class TStatusColour { Normal, Success, Failure };
struct TStatus {
  std::string Message;
  TStatusColour Colour = TStatusColour::Normal;
  std::string Detail;  // the driver's message when it raised
};

// After a failed read of P, why, when the line says: its device went away (a
// replugged adapter, a restarted line server; the next request opens it
// again). Empty when there is nothing more to say than the cell's text.
std::string ReadFailureText(const TTarget& Line, const CParameter& P);

// Writes the edit of P (null: no row) and updates P on success. The address
// record first takes IdNumber as its code: the ID number travels there.
TStatus WriteOne(const TTarget& Line, CParameter* P, const TEdit& Edit, int IdNumber);

}  // namespace qx25::ui
