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
inline constexpr ArgShape kPort{ArgKind::Int, 1, 30};
inline constexpr ArgShape kNozzle{ArgKind::Int, 1, 32};
inline constexpr ArgShape kSideOrNone{ArgKind::Int, 0, 4};
inline constexpr ArgShape kSide{ArgKind::Int, 1, 4};
inline constexpr ArgShape kFlag{ArgKind::Int, 0, 1};
inline constexpr ArgShape kSideCount{ArgKind::Int, 0, 4};
inline constexpr ArgShape kPositive{ArgKind::Int, 0, kInt32Max};
inline constexpr ArgShape kNetAddress{ArgKind::Int, 0, 99};
inline constexpr ArgShape kDigit{ArgKind::Int, 0, 9};

struct OpShape {
  int Count;
  std::array<ArgShape, kMaxArgs> Args;
};

inline constexpr std::array<OpShape, kOpCount> kOps{{
    {3, {{kPort, kNozzle, kSideOrNone}}},
    {4, {{kPort, kNozzle, kSideOrNone, kFlag}}},
    {4, {{kPort, kNozzle, kSideOrNone, {ArgKind::Real, 0, 99999}}}},
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
    {3, {{kPort, kNozzle, {ArgKind::Int, 0, 249}}}},
    {4, {{kPort, kNozzle, {ArgKind::Int, 0, 8}, kDigit}}},
    {3, {{kPort, kNozzle, kPositive}}},
    {4, {{kPort, kNozzle, {ArgKind::Int, 10, 249}, kPositive}}},
    {4, {{kPort, kNozzle, {ArgKind::Int, 0, 239}, kPositive}}},
    {4, {{kPort, kNozzle, kPositive, kNetAddress}}},
    {4, {{kPort, kNozzle, kSide, kPositive}}},
    {5,
     {{{ArgKind::Int, 0, 2},
       kPort,
       {ArgKind::Int, 0, 99},
       {ArgKind::Int, 0, 59},
       {ArgKind::Int, 0, 15}}}},
    {5,
     {{kPort,
       {ArgKind::Wide, 1, 32},
       {ArgKind::Wide, 0, 59},
       {ArgKind::Wide, 0, 15},
       {ArgKind::Wide, 0, kInt32Max}}}},
    {4, {{kPort, {ArgKind::Wide, 1, 32}, {ArgKind::Wide, 0, 9}, {ArgKind::Wide, 0, 9}}}},
    {4,
     {{kPort,
       {ArgKind::Wide, 1, 32},
       {ArgKind::Wide, 0, kInt32Max},
       {ArgKind::Wide, 0, kInt32Max}}}},
    {2, {{{ArgKind::Int, 3, 255}, kPort}}},
    {1, {{kPort}}},
    {4, {{kPort, {ArgKind::Int, 1, 126}, {ArgKind::Int, 0, 255}, {ArgKind::Int, 0, 2}}}},
    {3, {{{ArgKind::Int, 0, 7}, kPort, {ArgKind::Int, 0, 10}}}},
}};

}  // namespace qx25::fuzz
