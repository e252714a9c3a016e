#include "FileAccess.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <stdexcept>

namespace qx25::params {

namespace {

// A file name as the system takes it; false when Name is not UTF-8.
bool Wide(const std::string& Name, std::wstring& Out) {
  try {
    Out = std::filesystem::path(std::u8string(Name.begin(), Name.end())).wstring();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// The system's own text for an error code, in UTF-8.
std::string SystemMessage(DWORD Error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, Error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message;
  if (n > 0) {
    try {
      const std::u8string u8 = std::filesystem::path(std::wstring(text, n)).u8string();
      message.assign(u8.begin(), u8.end());
    } catch (const std::exception&) {
    }
  }
  LocalFree(text);
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message.empty() ? "Windows error " + std::to_string(Error) : message;
}

// Closes a handle when it goes.
struct Handle {
  HANDLE Value;
  ~Handle() {
    if (Value != INVALID_HANDLE_VALUE) CloseHandle(Value);
  }
};

std::string TooLarge(size_t Cap) { return "is larger than " + std::to_string(Cap) + " bytes"; }

}  // namespace

std::string ReadCapped(const std::string& Name, size_t Cap, std::string& Text) {
  Text.clear();
  std::wstring name;
  if (!Wide(Name, name)) return "is no UTF-8 file name";
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
    return SystemMessage(error);
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return "is a directory";
  const Handle in{CreateFileW(name.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (in.Value == INVALID_HANDLE_VALUE) return SystemMessage(GetLastError());
  // A device (NUL, CON, COM1) or a pipe is refused before a byte is read.
  if (GetFileType(in.Value) != FILE_TYPE_DISK) return "is not a regular file";
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(in.Value, &size)) return SystemMessage(GetLastError());
  if (static_cast<uint64_t>(size.QuadPart) > Cap) return TooLarge(Cap);
  char buffer[8192];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(in.Value, buffer, sizeof buffer, &n, nullptr))
      return SystemMessage(GetLastError());
    if (n == 0) return {};
    Text.append(buffer, n);
    // The file may grow after its size was taken.
    if (Text.size() > Cap) return TooLarge(Cap);
  }
}

void ReplaceContents(const std::string& Name, const std::string& Text) {
  std::wstring target;
  std::wstring temp;
  const auto failed = [&](const std::string& Why) {
    if (!temp.empty()) DeleteFileW(temp.c_str());
    return std::runtime_error("Cannot write the file \"" + Name + "\": " + Why);
  };
  if (!Wide(Name, target)) throw failed("it is no UTF-8 file name");
  // A name of our own next to the target, created afresh (never an existing
  // file), so that it takes the folder's inherited permissions.
  static std::atomic<unsigned> serial{0};
  Handle out{INVALID_HANDLE_VALUE};
  for (int attempt = 0; out.Value == INVALID_HANDLE_VALUE; ++attempt) {
    const std::wstring name = target + L".tmp-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(serial.fetch_add(1));
    out.Value = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out.Value != INVALID_HANDLE_VALUE) {
      temp = name;
    } else {
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_EXISTS || attempt > 100) throw failed(SystemMessage(error));
    }
  }
  size_t done = 0;
  while (done < Text.size()) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(Text.size() - done, 1u << 20));
    if (!WriteFile(out.Value, Text.data() + done, chunk, &n, nullptr) || n == 0)
      throw failed(SystemMessage(GetLastError()));
    done += n;
  }
  if (!FlushFileBuffers(out.Value)) throw failed(SystemMessage(GetLastError()));
  const HANDLE written = out.Value;
  out.Value = INVALID_HANDLE_VALUE;
  if (!CloseHandle(written)) throw failed(SystemMessage(GetLastError()));
  if (!MoveFileExW(temp.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw failed(SystemMessage(GetLastError()));
}

}  // namespace qx25::params
