// The layout of each data reply, named once: how many data bytes it carries
// and where each field stands. The driver reads its replies through these,
// the simulator writes its replies through them, and the fuzz seeds and the
// tests build replies from them. Offsets count data bytes e[0..m-1], not
// frame bytes.
#pragma once

#include <cstdint>

#include "Digits.h"

namespace qx25 {

// Volumes and doses are whole litres in five digits; totaliser counts, eight.
inline constexpr int kVolumeDigits = 5;
inline constexpr int kTotalDigits = 8;

// A decimal field: Digits ASCII digits from data byte First on.
struct TDigitField {
  int First;
  int Digits;
  constexpr int End() const { return First + Digits; }
};

// Writes Value into Field of the reply data E (an indexable byte sequence).
template <class Data>
constexpr void PutField(Data& E, TDigitField Field, uint64_t Value) {
  WriteDigits(&E[static_cast<size_t>(Field.First)], Value, static_cast<size_t>(Field.Digits));
}

// '1' status: state character, sub byte, flags (bit 3: the event digits are
// valid), event number as two digits, three spare '0'.
struct TStatusReply {
  static constexpr int DataBytes = 8;
  static constexpr int State = 0;
  static constexpr int Sub = 1;
  static constexpr int Flags = 2;
  static constexpr TDigitField Event{3, 2};
  static constexpr int Read = Event.End();  // the bytes the host looks at
};

// '4' current delivery: state character, volume so far, dose.
struct TCurrentReply {
  static constexpr int DataBytes = 11;
  static constexpr int State = 0;
  static constexpr TDigitField Volume{1, kVolumeDigits};
  static constexpr TDigitField Dose{6, kVolumeDigits};
};

// '5' final result: volume, totaliser, dose, state character, two spare '0'.
struct TResultReply {
  static constexpr int DataBytes = 21;
  static constexpr TDigitField Volume{0, kVolumeDigits};
  static constexpr TDigitField Total{5, kTotalDigits};
  static constexpr TDigitField Dose{13, kVolumeDigits};
  static constexpr int State = 18;
};

// '6' totaliser: the counter in whole litres, deliveries since power-up.
struct TTotalReply {
  static constexpr int DataBytes = 16;
  static constexpr TDigitField Total{0, kTotalDigits};
  static constexpr TDigitField Deliveries{8, kTotalDigits};
};

// 'N' parameter: the controller's address character (not part of the value),
// then the value in the code's digit count.
struct TParamReply {
  static constexpr int Address = 0;
  static constexpr int ValueFirst = 1;
  static constexpr int DataBytes(int Digits) { return ValueFirst + Digits; }
  static constexpr TDigitField Value(int Digits) { return {ValueFirst, Digits}; }
};

}  // namespace qx25
