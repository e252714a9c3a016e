// The port dispatcher as the driver sees it.
//
// The host owns the serial ports and hands the driver an object with this
// table of operations. The driver calls slots 1-4, 16, 17, 19 and 21 only; the
// empty slots keep those operations at their positions in the table, which is
// what a host built against this header relies on.
//
// Thread safety: the driver calls the dispatcher from whichever thread calls
// the driver. A dispatcher that serves several callers on one port must keep
// their exchanges apart itself.
#pragma once

#include <cstdint>

// The library is built with hidden visibility; what a host needs is marked.
#ifndef QX25_EXPORT
#if defined(_WIN32) && defined(QX25_BUILDING_DLL)
#define QX25_EXPORT __declspec(dllexport)
#elif defined(_WIN32)
// A Windows host resolves GetQX25 at run time and reaches the rest through
// the tables; one that links the import library defines __declspec(dllimport).
#define QX25_EXPORT
#else
#define QX25_EXPORT __attribute__((visibility("default")))
#endif
#endif

// A reply handler: called by the dispatcher with the bytes received so far.
// It may drop leading bytes of Buffer and writes the new count to *Length.
// Returns true when the bytes form a complete, accepted reply.
struct TReplyHandler {
  bool (*Code)(void* Self, uint8_t Port, uint8_t* Buffer, void* Unused1, uint8_t* Length,
               void* Unused2);
  void* Self;
};

// A port-settings handler: the dispatcher calls it whenever it needs a port's
// line settings applied; it answers with the result of SetLineParams.
struct TPortSetupHandler {
  int32_t (*Code)(void* Self, uint8_t Port);
  void* Self;
};

class QX25_EXPORT PortDispatcher {
 public:
  // The values both sides of this table name. SetLineParams: Format 42 is 8
  // data bits, no parity, 1 stop bit, raw (no echo, no line editing, no
  // character translation), no flow control, modem lines ignored; this
  // protocol runs at 4800 baud. Transact: the reply modes.
  static constexpr int32_t kFormat8N1 = 42;
  static constexpr int kBitsPerByte = 10;  // 8N1: a start bit, 8 data bits, a stop bit
  static constexpr int32_t kProtocolBaud = 4800;
  static constexpr uint8_t kReplyShort = 0;  // a one-byte reply, or none
  static constexpr uint8_t kReplyData = 2;   // a data frame

  virtual void Slot0() {}  // 0: not called

  // 1: a non-zero code that describes the last failed exchange on Port.
  virtual int32_t GetErrorCode(uint8_t Port) = 0;
  // 2: the reply handler's verdict: 0 accepted, 222 checksum, 223 no frame
  // start, 246 malformed frame.
  virtual void SetReplyResult(uint8_t Port, uint8_t Code) = 0;
  // 3: the reply handler's state, reported before the verdict: 1 complete and
  // valid, 3 malformed.
  virtual void SetReplyState(uint8_t Port, uint8_t State) = 0;
  // 4: how the last exchange on Port ended; 1 means a reply was accepted.
  virtual uint8_t GetLineStatus(uint8_t Port) = 0;

  virtual void Slot5() {}
  virtual void Slot6() {}
  virtual void Slot7() {}
  virtual void Slot8() {}
  virtual void Slot9() {}
  virtual void Slot10() {}
  virtual void Slot11() {}
  virtual void Slot12() {}
  virtual void Slot13() {}
  virtual void Slot14() {}
  virtual void Slot15() {}

  // 16: sends Frame and collects at most ReplyLength bytes into Reply, feeding
  // them to the port's reply handler. ReplyMode is kReplyData where a data
  // frame is expected and kReplyShort where a one-byte reply (or none) is.
  // Returns 0 when a reply was accepted, non-zero otherwise; may throw.
  //
  // One rule is the dispatcher's, since only it knows the line's timing:
  // where a data frame is expected, a lone byte the handler accepts (an ACK,
  // NAK or CAN: the data query answered without data) stands only when the
  // line then stays quiet for the gap allowed between two bytes of a reply.
  // A byte behind it fails the exchange: a damaged frame start (a bit error
  // turns STX into ACK; a lost STX leaves a data byte that reads as one) looks
  // the same to the handler. A one-byte reply where none other is expected
  // ends the exchange at once.
  virtual int32_t Transact(uint8_t Port, const uint8_t* Frame, uint8_t FrameLength, uint8_t* Reply,
                           uint8_t ReplyLength, uint8_t ReplyMode) = 0;
  // 17: applies the line settings of this protocol (kFormat8N1, kProtocolBaud).
  virtual int32_t SetLineParams(uint8_t Port, int32_t Format, int32_t Baud) = 0;
  virtual void Slot18() {}
  // 19: remembers the reply handler of Port; called before every exchange.
  virtual void SetReplyHandler(uint8_t Port, TReplyHandler Handler) = 0;
  virtual void Slot20() {}
  // 21: remembers the port-settings handler of Port.
  virtual void SetPortSetupHandler(uint8_t Port, TPortSetupHandler Handler) = 0;

 protected:
  ~PortDispatcher() = default;
};
