#include "ConsoleWords.h"

#include <optional>

#include "programs/PortStatusWords.h"
#include "driver/HostContract.h"
#include "driver/protocol/RequestDecoder.h"
#include "serial/SerialDispatcher.h"

namespace qx25::station {

namespace {

bool InClass(uint16_t Code, uint8_t Base) { return Code > Base && Code <= Base + kMaxSide; }

// What a trace frame asks; nothing when the bytes are no request frame.
std::optional<DecodedRequest> RequestOf(std::span<const uint8_t> Frame) {
  const std::optional<RequestBytes> data = DecodeRequestFrame(Frame.data(), Frame.size());
  if (!data) return std::nullopt;
  return ParseRequest(*data);
}

}  // namespace

StatusMeaning PortStatusMeaning(int Status) {
  const TPortStatusWords* words = FindPortStatus(Status);
  // Any other value was set by someone else (a host through slot 2): not an
  // accepted reply, and nothing the console can name.
  if (words == nullptr)
    return {StatusKind::LineFailure,
            QStringLiteral("неизвестное состояние порта (код %1)").arg(Status)};
  const QString text = QString::fromUtf8(words->Russian);
  // The code stands last and named, so that it is never read as a port.
  const QString code = QStringLiteral(" (код %1)").arg(Status);
  switch (words->Class) {
    case TStatusClass::NoExchange:
      return {StatusKind::None, text};
    case TStatusClass::Accepted:
      return {StatusKind::Accepted, text};
    case TStatusClass::Refused:
      return {StatusKind::Refused, QStringLiteral("отказ: ") + text + code};
    case TStatusClass::LineFailure:
      break;
  }
  return {StatusKind::LineFailure, QStringLiteral("сбой линии: ") + text + code};
}

QString NozzleStateWord(uint16_t Code) {
  if (Code == 0) return QStringLiteral("не опрошена");
  if (Code == kCodeNoState) return QStringLiteral("нет ответа");
  if (Code == kCodeIdle) return QStringLiteral("свободна");
  if (Code == kCodeAuthorised) return QStringLiteral("налив разрешён");
  if (Code == kCodeFinished) return QStringLiteral("налив окончен");
  if (InClass(Code, kCodeDelivering)) return QStringLiteral("идёт налив");
  if (InClass(Code, kCodeFinished)) return QStringLiteral("налив остановлен");
  if (InClass(Code, kCodeNozzleLifted)) return QStringLiteral("пистолет снят");
  return QStringLiteral("код %1").arg(Code);
}

QString NozzleStateText(uint16_t Code, uint8_t EventLetter) {
  QString text = NozzleStateWord(Code);
  const bool onSide = InClass(Code, kCodeDelivering) || InClass(Code, kCodeFinished) ||
                      InClass(Code, kCodeNozzleLifted);
  if (onSide) text += QStringLiteral(", сторона %1").arg(Code & 0x07);
  if (EventLetter != 0) text += QStringLiteral(", событие %1").arg(QChar(EventLetter));
  return text;
}

bool IsDelivering(uint16_t Code) { return InClass(Code, kCodeDelivering); }
bool IsFinished(uint16_t Code) { return Code == kCodeFinished; }
bool IsIdle(uint16_t Code) { return Code == kCodeIdle; }
bool IsAuthorised(uint16_t Code) { return Code == kCodeAuthorised; }
bool IsHalted(uint16_t Code) { return InClass(Code, kCodeFinished); }

bool IsRoutinePoll(std::span<const uint8_t> Frame) {
  const std::optional<DecodedRequest> request = RequestOf(Frame);
  return request && (request->Kind == &kStatusRequest || request->Kind == &kCurrentRequest);
}

QString RequestText(std::span<const uint8_t> Frame) {
  const std::optional<DecodedRequest> request = RequestOf(Frame);
  if (!request) return {};
  const QString letter = QString(QChar(request->Letter));
  if (request->Kind == nullptr) return letter + QStringLiteral(" ?");
  QString text = letter + QLatin1Char(' ') + QString::fromUtf8(request->Kind->Name);
  // The status request with one more byte also takes the event it reported.
  if (request->Kind == &kStatusRequest && !request->Args.empty())
    text += QStringLiteral(", событие принято");
  return text;
}

}  // namespace qx25::station
