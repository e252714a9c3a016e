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

/**
 * @file PortDispatcher.h
 * @brief The table of operations through which the driver reaches the host's
 * serial lines.
 *
 * One exchange calls, in this order: SetReplyHandler(), Transact() (which
 * calls the reply handler with the bytes so far), GetLineStatus(); and
 * GetErrorCode() only when Transact() threw. SetupPort() (slot 16 of TQX25)
 * calls SetPortSetupHandler() and then SetLineParams(). A dispatcher may throw
 * from any operation: the driver turns it into a failed exchange, never lets
 * it reach the host, and leaves PortStatus as it was.
 */

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

/// A reply handler: called by the dispatcher with the bytes received so far.
/// It may drop leading bytes of Buffer and writes the new count to *Length;
/// the dispatcher goes on from the new count. It never throws. Returns true
/// when the bytes form a complete, accepted reply; before returning it has
/// reported its verdict through SetReplyState() and SetReplyResult().
struct TReplyHandler {
  bool (*Code)(void* Self, uint8_t Port, uint8_t* Buffer, void* Unused1, uint8_t* Length,
               void* Unused2);  ///< the handler; call it with Self first
  void* Self;                     ///< the driver that registered it
};

/// A port-settings handler: the dispatcher calls it whenever it needs a port's
/// line settings applied (opening the port again, say); it answers with the
/// result of SetLineParams. It takes no lock of the driver's.
struct TPortSetupHandler {
  int32_t (*Code)(void* Self, uint8_t Port);  ///< the handler; call it with Self first
  void* Self;                                 ///< the driver that registered it
};

/**
 * @brief The host's port dispatcher, as the driver calls it: slots 1-4, 16,
 * 17, 19 and 21 of its table, Port first (the host's COM number, 1..30 from
 * the driver).
 *
 * The driver never frees it; it must outlive every driver made with it.
 */
class QX25_EXPORT PortDispatcher {
 public:
  /// @name The values both sides of this table name
  /// @{
  /// SetLineParams's Format: 8 data bits, no parity, 1 stop bit, raw (no
  /// echo, no line editing, no character translation), no flow control,
  /// modem lines ignored.
  static constexpr int32_t kFormat8N1 = 42;
  static constexpr int kBitsPerByte = 10;  ///< 8N1: a start bit, 8 data bits, a stop bit
  static constexpr int32_t kProtocolBaud = 4800;  ///< the protocol's only rate
  static constexpr uint8_t kReplyShort = 0;  ///< Transact's ReplyMode: a one-byte reply, or none
  static constexpr uint8_t kReplyData = 2;   ///< Transact's ReplyMode: a data frame
  ///@}

  /** @name Empty slots
   *  They keep the operations at their positions in the table; the driver
   *  never calls them. */
  ///@{
  virtual void Slot0() {}  ///< 0: empty
  ///@}

  /**
   * Slot 1: why the last exchange on Port failed.
   * @return a non-zero code; the driver's Exchange returns it, so 0 would
   * read as success (the driver then uses -2 instead).
   * Called only after Transact() threw, on the thread that called it.
   */
  virtual int32_t GetErrorCode(uint8_t Port) = 0;
  /**
   * Slot 2: the reply handler's verdict on the bytes so far.
   * @param Code 0 accepted, 222 checksum wrong, 223 no frame start, 246
   * malformed frame. Called from inside Transact(), on its thread.
   */
  virtual void SetReplyResult(uint8_t Port, uint8_t Code) = 0;
  /**
   * Slot 3: the reply handler's state, reported before the verdict; not for
   * codes 222 and 223.
   * @param State 1 complete and valid, 3 malformed.
   */
  virtual void SetReplyState(uint8_t Port, uint8_t State) = 0;
  /**
   * Slot 4: how the calling thread's last exchange on Port ended; the driver
   * stores it as PortStatus[Port] after every Transact() that returns.
   * @return 1 when a reply was accepted (or a frame that wants none went
   * out); any other byte is the dispatcher's own failure value, which the
   * host reads through GetPortStatus (the serial dispatcher's are 2..8).
   */
  virtual uint8_t GetLineStatus(uint8_t Port) = 0;

  /** @name Empty slots
   *  Kept for the positions of the slots that follow; never called. */
  ///@{
  virtual void Slot5() {}  ///< 5: empty
  virtual void Slot6() {}  ///< 6: empty
  virtual void Slot7() {}  ///< 7: empty
  virtual void Slot8() {}  ///< 8: empty
  virtual void Slot9() {}  ///< 9: empty
  virtual void Slot10() {}  ///< 10: empty
  virtual void Slot11() {}  ///< 11: empty
  virtual void Slot12() {}  ///< 12: empty
  virtual void Slot13() {}  ///< 13: empty
  virtual void Slot14() {}  ///< 14: empty
  virtual void Slot15() {}  ///< 15: empty
  ///@}

  /**
   * Slot 16: one exchange. Sends Frame and collects at most ReplyLength bytes
   * into Reply, calling the port's reply handler after each arrival with the
   * bytes so far, until it accepts them, the bytes run out or time runs out.
   * @param Frame, FrameLength the request frame, 5 to 255 bytes.
   * @param Reply room for ReplyLength bytes; the driver reads the reply there.
   * @param ReplyMode kReplyData where a data frame is expected, kReplyShort
   * where a one-byte reply (or none) is.
   * @return 0 when a reply was accepted, non-zero otherwise (the driver then
   * throws ESerialIO, or reports the failure through the operation's result).
   * May throw. Called on the driver's caller's thread, with the driver's port
   * lock held; a dispatcher that serves other callers on the port keeps their
   * exchanges apart itself.
   *
   * One rule is the dispatcher's, since only it knows the line's timing:
   * where a data frame is expected, a lone byte the handler accepts (an ACK,
   * NAK or CAN: the data query answered without data) stands only when the
   * line then stays quiet for the gap allowed between two bytes of a reply.
   * A byte behind it fails the exchange: a damaged frame start (a bit error
   * turns STX into ACK; a lost STX leaves a data byte that reads as one) looks
   * the same to the handler. A one-byte reply where none other is expected
   * ends the exchange at once.
   */
  virtual int32_t Transact(uint8_t Port, const uint8_t* Frame, uint8_t FrameLength, uint8_t* Reply,
                           uint8_t ReplyLength, uint8_t ReplyMode) = 0;
  /**
   * Slot 17: applies the protocol's line settings to Port.
   * @param Format kFormat8N1, the only format the driver passes.
   * @param Baud kProtocolBaud, the only rate the driver passes.
   * @return 0 when applied; non-zero otherwise, which SetupPort hands to the
   * host as its result. Called by SetupPort and by the port-settings handler,
   * which the dispatcher may call from inside its own operations.
   */
  virtual int32_t SetLineParams(uint8_t Port, int32_t Format, int32_t Baud) = 0;
  /** @name Empty slots
   *  Kept for the positions of the slots that follow; never called. */
  ///@{
  virtual void Slot18() {}  ///< 18: empty
  ///@}
  /**
   * Slot 19: remembers the reply handler of Port; the driver calls it before
   * every exchange, on the exchange's thread, and the handler stays
   * registered afterwards.
   */
  virtual void SetReplyHandler(uint8_t Port, TReplyHandler Handler) = 0;
  /** @name Empty slots
   *  Kept for the positions of the slots that follow; never called. */
  ///@{
  virtual void Slot20() {}  ///< 20: empty
  ///@}
  /**
   * Slot 21: remembers the port-settings handler of Port (from SetupPort);
   * the dispatcher calls it whenever it needs the port's settings applied.
   */
  virtual void SetPortSetupHandler(uint8_t Port, TPortSetupHandler Handler) = 0;

 protected:
  /// The driver never deletes a dispatcher; the host does, as its own type.
  ~PortDispatcher() = default;
};
