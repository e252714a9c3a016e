// What each PortStatus value means to the user, in English (qx25ctl) and in
// Russian (the forecourt console): the dispatcher's verdict on the last exchange (0-8) and
// the refusal codes the commands write after a CAN reply (16-26). One table,
// so that the programs that show a status never tell it differently.
#pragma once

#include <array>
#include <cstdint>

#include "driver/HostContract.h"
#include "serial/SerialDispatcher.h"

namespace qx25 {

// The serial dispatcher's verdicts (serial::LineStatus, 0-8) and the
// refusal codes, under the names the programs use for them.
inline constexpr uint8_t kStatusNoExchange = serial::kLineIdle;
inline constexpr uint8_t kStatusTimeout = serial::kLineTimeout;
inline constexpr uint8_t kStatusRejected = serial::kLineRejected;
inline constexpr uint8_t kStatusLineError = serial::kLineError;
inline constexpr uint8_t kStatusNoDevice = serial::kLineNoDevice;
inline constexpr uint8_t kStatusBadSettings = serial::kLineBadSettings;
inline constexpr uint8_t kStatusInUse = serial::kLineInUse;  // another program holds the device
inline constexpr uint8_t kStatusNoAccess = serial::kLineNoAccess;  // this user may not open it
static_assert(serial::kLineAccepted == kLineOk);

enum class TStatusClass : uint8_t { NoExchange, Accepted, Refused, LineFailure };

struct TPortStatusWords {
  uint8_t Code;
  TStatusClass Class;
  const char* English;
  const char* Russian;  // UTF-8
};

inline constexpr std::array<TPortStatusWords, 17> PortStatusWords{{
    {kStatusNoExchange, TStatusClass::NoExchange, "no exchange yet", "обмена ещё не было"},
    {kLineOk, TStatusClass::Accepted, "accepted", "принято"},
    {kStatusTimeout, TStatusClass::LineFailure, "time-out", "нет ответа"},
    {kStatusRejected, TStatusClass::LineFailure, "reply rejected", "ответ не принят"},
    {kStatusLineError, TStatusClass::LineFailure, "line error", "ошибка линии"},
    {kStatusNoDevice, TStatusClass::LineFailure, "no such device", "нет устройства"},
    {kStatusBadSettings, TStatusClass::LineFailure, "bad line settings",
     "настройки линии не приняты"},
    {kStatusInUse, TStatusClass::LineFailure, "in use by another program",
     "линия занята другой программой"},
    {kStatusNoAccess, TStatusClass::LineFailure, "no access to the device",
     "нет доступа к устройству"},
    {kRefusedStart, TStatusClass::Refused, "start refused", "пуск не принят"},
    {kRefusedPrepare, TStatusClass::Refused, "preparation refused",
     "подготовка к пуску не принята"},
    {kRefusedPreset, TStatusClass::Refused, "preset refused", "предустановка не принята"},
    {kRefusedStop, TStatusClass::Refused, "stop refused", "остановка не принята"},
    {kRefusedParam, TStatusClass::Refused, "parameter refused", "параметр не принят"},
    {kRefusedNetAddress, TStatusClass::Refused, "address programming refused",
     "сетевой адрес не принят"},
    {kRefusedCurrent, TStatusClass::Refused, "current-delivery query refused",
     "запрос текущего налива не принят"},
    {kAnsweredWithoutData, TStatusClass::Refused,
     "the controller answered a data query without data", "ответ без данных"},
}};

// The row of Code, or null for a value no one here gives (a host may write
// any byte through slot 2).
constexpr const TPortStatusWords* FindPortStatus(int Code) {
  for (const TPortStatusWords& row : PortStatusWords)
    if (row.Code == Code) return &row;
  return nullptr;
}

}  // namespace qx25
