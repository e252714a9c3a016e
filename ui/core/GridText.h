// What the grid shows: which rows a tab holds, which row is current after a
// tab change, the five texts of a row and the hints over its cells. Rows are
// catalog indices here but in RecordOfRow.
#pragma once

#include <optional>
#include <string>

#include "params/ParameterUnit.h"

namespace qx25::ui {

enum TColumn { ColCode, ColName, ColLimits, ColRead, ColWrite, ColumnCount };

inline constexpr int kTabCount = 3;
inline constexpr int kAddressTab = 1;  // the only tab that shows the ID number field
std::string TabCaption(int Tab);
std::string HeaderCaption(int Column);

// The record grid row Row shows (row 0 is the header); null for none.
CParameter* RecordOfRow(CTRKParameters* Catalog, int Row);

// A cell's text, and whether the value in it lies outside the record's limits
// (a view marks such a cell and adds Note to its hint).
struct TCell {
  std::string Text;
  bool OutOfLimits = false;
  std::string Note;
};
TCell CellOf(const CParameter& P, int Column);
// The hint over a cell of a record's row, then on a line of its own the note
// of an out-of-limits cell.
std::string CellHintOf(const CParameter& P, int Column);

// A value as read: as it is, also outside the limits (ValueToText shows a
// value below the lower limit as the limit, which is what an edit starts
// from, not what the controller holds). Throws as ValueToText does.
std::string ReadValueText(const CParameter& P, int64_t V);
// Why Raw may not go to the controller: "вне пределов <min> … <max>" for a
// number outside its limits or a list value that names no item; empty when
// it may. Kinds without limits of their own are never refused.
std::string Refusal(const CParameter& P, int64_t Raw);

// The name cell: the caption, the units in brackets, then the value names
// one to a line (CR LF between lines).
std::string DescriptionText(const CParameter& P);
// The limits cell: the scaled range with the units, or what kind of value it is.
std::string LimitsText(const CParameter& P);

bool ShownOnTab(const CParameter& P, int Tab);
// The row that is current once Tab is shown: Current when Tab shows it,
// else the tab's first row; nothing when the tab shows no row.
std::optional<int> CurrentRowOnTab(const CTRKParameters& Catalog, int Tab, int Current);

}  // namespace qx25::ui
