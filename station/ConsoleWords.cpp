#include "ConsoleWords.h"

#include <array>

#include "driver/protocol/PortStatusWords.h"
#include "driver/protocol/Protocol.h"
#include "serial/SerialDispatcher.h"

namespace qx25::hostapp {

namespace {

// The dispatcher names its verdicts itself; they must be the codes the
// status table names.
static_assert(host::kLineIdle == kStatusNoExchange && host::kLineAccepted == kLineOk &&
              host::kLineTimeout == kStatusTimeout && host::kLineRejected == kStatusRejected &&
              host::kLineError == kStatusLineError && host::kLineNoDevice == kStatusNoDevice &&
              host::kLineBadSettings == kStatusBadSettings && host::kLineInUse == kStatusInUse);

struct LetterWords {
  const TRequestKind& Kind;
  const char* Text;
};
// '6' appears twice: the read and the password-guarded write differ in length.
const std::array<LetterWords, 13> kRequests{{
    {kStatusRequest, "состояние"},
    {kCurrentRequest, "текущий налив"},
    {kResultRequest, "итог налива"},
    {kTotalRequest, "суммарный счётчик"},
    {kSetTotalRequest, "запись счётчика"},
    {kStartRequest, "пуск"},
    {kPrepareRequest, "подготовка к пуску"},
    {kPresetRequest, "предустановка"},
    {kStopRequest, "остановка"},
    {kResetRequest, "сброс"},
    {kReadParamRequest, "чтение параметра"},
    {kWriteParamRequest, "запись параметра"},
    {kCommonRequest, "общая команда"},
}};
constexpr char kNetAddressWords[] = "программирование адреса";

QString OnSide(const char* Words, int Side) {
  return QString::fromUtf8(Words) + QStringLiteral(", сторона %1").arg(Side);
}

bool InClass(uint16_t Code, uint8_t Base) { return Code > Base && Code <= Base + kMaxSide; }

// Request data d[n] of a frame: 0x7F, d[0], then each further byte and its complement.
constexpr size_t kFrameHead = 2;
constexpr size_t DataPosition(size_t N) { return kFrameHead + 2 * (N - 1); }
// A frame of request data n bytes long is 2n + 3 bytes.
constexpr size_t kFrameOverhead = 3;

// The letter a request frame carries and its request length; no letter (0)
// when the bytes are no request frame. Line-wide requests carry the common
// group and their letter in d[1]; a nozzle's address character never equals
// either letter.
struct FrameLetter {
  uint8_t Letter = 0;
  size_t Length = 0;
};
FrameLetter LetterOf(std::span<const uint8_t> Frame) {
  if (Frame.size() < DataPosition(2) + 1 || Frame[0] != kFrameStart ||
      (Frame.size() - kFrameOverhead) % 2 != 0)
    return {};
  const size_t length = (Frame.size() - kFrameOverhead) / 2;
  const uint8_t first = Frame[DataPosition(1)];
  if (Frame[1] == kCommonGroup &&
      (first == kNetAddressRequest.Letter || first == kCommonRequest.Letter))
    return {first, length};
  if (length < 3) return {};
  return {Frame[DataPosition(2)], length};
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

QString NozzleStateText(uint16_t Code, uint8_t EventLetter) {
  const int side = Code & 0x07;
  QString text;
  if (Code == 0)
    text = QStringLiteral("не опрошена");
  else if (Code == kCodeNoState)
    text = QStringLiteral("нет ответа");
  else if (Code == kCodeIdle)
    text = QStringLiteral("свободна");
  else if (Code == kCodeAuthorised)
    text = QStringLiteral("налив разрешён");
  else if (Code == kCodeFinished)
    text = QStringLiteral("налив окончен");
  else if (InClass(Code, kCodeDelivering))
    text = OnSide("идёт налив", side);
  else if (InClass(Code, kCodeFinished))
    text = OnSide("налив остановлен", side);
  else if (InClass(Code, kCodeNozzleLifted))
    text = OnSide("пистолет снят", side);
  else
    text = QStringLiteral("код %1").arg(Code);
  if (EventLetter != 0) text += QStringLiteral(", событие %1").arg(QChar(EventLetter));
  return text;
}

bool IsDelivering(uint16_t Code) { return InClass(Code, kCodeDelivering); }
bool IsFinished(uint16_t Code) { return Code == kCodeFinished; }
bool IsIdle(uint16_t Code) { return Code == kCodeIdle; }
bool IsHalted(uint16_t Code) { return InClass(Code, kCodeFinished); }

bool IsRoutinePoll(std::span<const uint8_t> Frame) {
  const uint8_t letter = LetterOf(Frame).Letter;
  return letter == kStatusRequest.Letter || letter == kCurrentRequest.Letter;
}

QString RequestText(std::span<const uint8_t> Frame) {
  const auto [letter, length] = LetterOf(Frame);
  if (letter == 0) return {};
  if (Frame[1] == kCommonGroup && Frame[DataPosition(1)] == kNetAddressRequest.Letter)
    return QStringLiteral("] ") + QString::fromUtf8(kNetAddressWords);
  const LetterWords* found = nullptr;
  for (const LetterWords& w : kRequests) {
    if (w.Kind.Letter != letter) continue;
    // Of two kinds with one letter, the one whose length matches.
    if (found == nullptr || w.Kind.RequestLength == length) found = &w;
  }
  if (found == nullptr) return QString(QChar(letter)) + QStringLiteral(" ?");
  QString text = QString(QChar(letter)) + QLatin1Char(' ') + QString::fromUtf8(found->Text);
  if (&found->Kind == &kStatusRequest && length > kStatusRequest.RequestLength)
    text += QStringLiteral(", событие принято");
  return text;
}

}  // namespace qx25::hostapp
