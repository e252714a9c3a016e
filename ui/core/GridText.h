// What the grid shows: rows per tab, the current row after a tab change, the
// texts and hints of a row. Rows are catalog indices but in RecordOfRow.
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

// A cell's text; a value outside the limits, or one the last write-all left
// out (LeftOut: why), is marked, with Note in the hint.
struct TCell {
  std::string Text;
  bool OutOfLimits = false;
  std::string Note;
};
TCell CellOf(const CParameter& P, int Column, const std::string& LeftOut = {});
// The hint over a cell: a value cell's whole text first (the cell may shorten
// it), then what a click does, then the cell's note, a line each.
std::string CellHintOf(const CParameter& P, int Column, const std::string& LeftOut = {});

// A value as read, also below the lower limit (ValueToText shows the limit
// there, where an edit starts). Throws as ValueToText does.
std::string ReadValueText(const CParameter& P, int64_t V);
// Why Raw may not go to the controller ("вне пределов <min> … <max>"), empty
// when it may; kinds without limits of their own never are refused.
std::string Refusal(const CParameter& P, int64_t Raw);

// The name cell: caption, units in brackets, value names a line each (CR LF).
std::string DescriptionText(const CParameter& P);
// The limits cell: the scaled range with the units, or what kind of value it is.
std::string LimitsText(const CParameter& P);

bool ShownOnTab(const CParameter& P, int Tab);
// The current row once Tab shows: Current if shown, else the tab's first row.
std::optional<int> CurrentRowOnTab(const CTRKParameters& Catalog, int Tab, int Current);

}  // namespace qx25::ui
