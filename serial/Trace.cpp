// The protocol trace as text: one line per frame or reply, hex bytes, for a
// technician reading a log beside the line.
#include <cstdio>
#include <mutex>
#include <ostream>

#include "SerialDispatcher.h"

namespace qx25::serial {

const char* SerialErrorText(int32_t Code) {
  switch (Code) {
    case kSerialOk:
      return "ok";
    case kSerialNoDevice:
      return "no such device";
    case kSerialLineError:
      return "line error";
    case kSerialTimeout:
      return "time-out";
    case kSerialRejected:
      return "reply rejected";
    case kSerialBadSettings:
      return "bad line settings";
    case kSerialInUse:
      return "in use by another program";
    case kSerialDeviceLost:
      return "device lost";
    case kSerialNoAccess:
      return "no access to the device";
    case kSerialCancelled:
      return "reply wait cancelled";
    case kSerialOtherDevice:
      return "another device";
    default:
      return "unknown";
  }
}

std::string InUseText(uint8_t Port, const std::string& Path, long Holder) {
  std::string text = "COM" + std::to_string(Port) + " (" + Path + ") is in use by another program";
  if (Holder > 0) text += " (pid " + std::to_string(Holder) + ")";
  return text;
}

std::string FormatTraceLine(const TraceRecord& Record) {
  char head[64];
  std::snprintf(head, sizeof head, "%.3f COM%u %s", Record.Seconds, unsigned{Record.Port},
                Record.Direction == TraceDirection::Request ? "->" : "<-");
  std::string line = head;
  line.reserve(line.size() + 3 * Record.Bytes.size() + 40);
  for (const uint8_t b : Record.Bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", unsigned{b});
    line += hex;
  }
  if (Record.Direction == TraceDirection::Reply && Record.Result != kSerialOk) {
    line += " (";
    line += SerialErrorText(Record.Result);
    if (Record.Result == kSerialRejected && Record.ReplyCode >= 0)
      line += ", code " + std::to_string(Record.ReplyCode);
    line += ')';
  }
  return line;
}

TraceCallback TraceToFile(std::FILE* Out) {
  auto lock = std::make_shared<std::mutex>();
  return [Out, lock](const TraceRecord& Record) {
    const std::string line = FormatTraceLine(Record) + '\n';
    std::lock_guard<std::mutex> hold(*lock);
    std::fputs(line.c_str(), Out);
    std::fflush(Out);
  };
}

TraceCallback TraceToStream(std::ostream& Out) {
  auto lock = std::make_shared<std::mutex>();
  return [&Out, lock](const TraceRecord& Record) {
    const std::string line = FormatTraceLine(Record) + '\n';
    std::lock_guard<std::mutex> hold(*lock);
    Out << line << std::flush;
  };
}

}  // namespace qx25::serial
