// The driver operations the command fuzz target runs, with the ranges of
// their arguments, shared with the seed writer so that seeds and target
// agree on the input layout.
//
// Input layout: operations one after another, each an operation byte (taken
// modulo kOpCount) followed by its arguments in the order listed (see
// ArgReader); whenever the operation exchanges a frame, the fuzzed line
// takes what it answers from the input (see FuzzLine in fuzz_commands.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <limits>

#include "driver/HostContract.h"

namespace qx25::fuzz {

enum Op : uint8_t {
  OpStartPump,            // Port, Nozzle, Side
  OpStartPumpWithReset,   // Port, Nozzle, Side, SkipReset
  OpPresetVolume,         // Port, Nozzle, Side, Volume
  OpPresetMoney,          // Port, Nozzle, Side, Money
  OpStopPump,             // Port, Nozzle, Side, Confirm
  OpStopNozzle,           // Port, Nozzle, Confirm
  OpStopPumpAndReset,     // Port, Nozzle, Side, Confirm
  OpResetNozzle,          // Port, Nozzle, Side
  OpPollNozzle,           // Port, Nozzle, SideCount
  OpGetNozzleState,       // Port, Nozzle
  OpGetCurrentDelivery,   // Port, Nozzle
  OpGetDeliveryResult,    // Port, Nozzle
  OpGetTotalCounter,      // Port, Nozzle, Side
  OpSetTotalCounter,      // Port, Nozzle, Side, Value
  OpSetPrice,             // Port, Nozzle, Side, Price
  OpGetParam,             // Port, Nozzle, ParamNo
  OpSetParCommon,         // Port, Nozzle, ParamNo 0..8, Value
  OpSetParAddress,        // Port, Nozzle, Value (ParamNo 9)
  OpSetParWrite,          // Port, Nozzle, ParamNo from 10, Value
  OpWriteCtrlParam,       // Port, Nozzle, Index, Value
  OpSetNetAddress,        // Port, Nozzle, IdNumber, NewAddress
  OpWriteCalibration,     // Port, Nozzle, Side, Value
  OpReadParam,            // Mode, Port, Address, Code, Digits
  OpWriteParamParameter,  // Port, Address, Code, Digits, Value (mode lmParameter)
  OpWriteParamCommon,     // Port, Address, Code, Value (mode lmCommon)
  OpWriteParamAddress,    // Port, Address, Code (ID number), Value (mode lmAddress)
  OpWriteParamOther,      // Mode from 3, Port
  OpSetupPort,            // Port
  OpExchange,             // Port, RequestLength, ReplyLength, ReplyMode
  OpSmallSlots,           // Kind, Port, Value: the slots that need no line
  kOpCount
};

enum class ArgKind : uint8_t { Int, Wide, Real };

struct ArgShape {
  ArgKind Kind;
  double Min, Max;
};

inline constexpr int kMaxArgs = 6;
inline constexpr double kInt32Max = std::numeric_limits<int32_t>::max();

// Argument ranges within which an operation must never refuse its arguments.
inline constexpr ArgShape kPort{ArgKind::Int, 1, kMaxPort};
inline constexpr ArgShape kNozzle{ArgKind::Int, 1, kMaxNozzle};
inline constexpr ArgShape kSideOrNone{ArgKind::Int, 0, kMaxSide};
inline constexpr ArgShape kSide{ArgKind::Int, 1, kMaxSide};
inline constexpr ArgShape kFlag{ArgKind::Int, 0, 1};
inline constexpr ArgShape kSideCount{ArgKind::Int, 0, kMaxSide};
inline constexpr ArgShape kPositive{ArgKind::Int, 0, kInt32Max};
inline constexpr ArgShape kNetAddress{ArgKind::Int, 0, kMaxNetAddress};
inline constexpr ArgShape kDigit{ArgKind::Int, 0, kMaxCommonDigit};
inline constexpr ArgShape kCode{ArgKind::Int, 0, kParamCodeCount - 1};
inline constexpr ArgShape kWideNozzle{ArgKind::Wide, 1, kMaxNozzle};
inline constexpr ArgShape kWideCode{ArgKind::Wide, 0, kParamCodeCount - 1};
inline constexpr ArgShape kWideDigit{ArgKind::Wide, 0, kMaxCommonDigit};
inline constexpr ArgShape kWidePositive{ArgKind::Wide, 0, kInt32Max};
// ParamNo of GetParam and SetPar, and WriteCtrlParam's index: 60 codes a side.
inline constexpr double kLastIndex = kMaxSide * kParamCodeCount - 1;
inline constexpr double kLastParamNo = kParamNoFirstCode + kLastIndex;

struct OpShape {
  int Count;
  std::array<ArgShape, kMaxArgs> Args;
};

inline constexpr std::array<OpShape, kOpCount> kOps{{
    {3, {{kPort, kNozzle, kSideOrNone}}},
    {4, {{kPort, kNozzle, kSideOrNone, kFlag}}},
    {4, {{kPort, kNozzle, kSideOrNone, {ArgKind::Real, 0, MaxDigitsValue(kPresetDigits)}}}},
    {4, {{kPort, kNozzle, kSide, {ArgKind::Real, 0, 1000}}}},
    {4, {{kPort, kNozzle, kSideOrNone, kFlag}}},
    {3, {{kPort, kNozzle, kFlag}}},
    {4, {{kPort, kNozzle, kSideOrNone, kFlag}}},
    {3, {{kPort, kNozzle, kSideOrNone}}},
    {3, {{kPort, kNozzle, kSideCount}}},
    {2, {{kPort, kNozzle}}},
    {2, {{kPort, kNozzle}}},
    {2, {{kPort, kNozzle}}},
    {3, {{kPort, kNozzle, kSideOrNone}}},
    {4, {{kPort, kNozzle, kSideOrNone, {ArgKind::Real, 0, 999999.99}}}},
    {4, {{kPort, kNozzle, kSide, {ArgKind::Real, 0.05, 100}}}},
    {3, {{kPort, kNozzle, {ArgKind::Int, 0, kLastParamNo}}}},
    {4, {{kPort, kNozzle, {ArgKind::Int, 0, kParamNoNetAddress - 1}, kDigit}}},
    {3, {{kPort, kNozzle, kPositive}}},
    {4, {{kPort, kNozzle, {ArgKind::Int, kParamNoFirstCode, kLastParamNo}, kPositive}}},
    {4, {{kPort, kNozzle, {ArgKind::Int, 0, kLastIndex}, kPositive}}},
    {4, {{kPort, kNozzle, kPositive, kNetAddress}}},
    {4, {{kPort, kNozzle, kSide, kPositive}}},
    {5, {{{ArgKind::Int, 0, 2}, kPort, kNetAddress, kCode, {ArgKind::Int, 0, kMaxParamDigits}}}},
    {5, {{kPort, kWideNozzle, kWideCode, {ArgKind::Wide, 0, kMaxParamDigits}, kWidePositive}}},
    {4, {{kPort, kWideNozzle, kWideDigit, kWideDigit}}},
    {4, {{kPort, kWideNozzle, kWidePositive, kWidePositive}}},
    {2, {{{ArgKind::Int, 3, 255}, kPort}}},
    {1, {{kPort}}},
    {4, {{kPort, {ArgKind::Int, 1, 126}, {ArgKind::Int, 0, 255}, {ArgKind::Int, 0, 2}}}},
    {3, {{{ArgKind::Int, 0, 7}, kPort, {ArgKind::Int, 0, 10}}}},
}};

}  // namespace qx25::fuzz
