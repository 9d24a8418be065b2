#include <windows.h>

#include "platform/settings_file.h"

namespace platform {
namespace {

const std::string TOO_LARGE =
    "it is larger than " + std::to_string(SETTINGS_FILE_MAX_BYTES / 1024) + " KiB";

// The system's words for a Win32 error, on one line.
std::string system_error_text(DWORD error) {
  char text[256] = {};
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == '.' || text[length - 1] == ' ')) {
    --length;
  }
  if (length == 0) return "error " + std::to_string(error);
  return std::string(text, length);
}

struct FileHandle {
  HANDLE handle;
  ~FileHandle() {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};

}  // namespace

// No settings file is read unless one is given with --settings.
std::string default_settings_file_path() { return {}; }

std::string read_settings_text(const std::string& path, std::string* text, MissingFile missing) {
  text->clear();
  if (path.empty() && missing == MissingFile::ALLOWED) return {};
  FileHandle file{::CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (file.handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) &&
        missing == MissingFile::ALLOWED) {
      return {};
    }
    return "cannot open it: " + system_error_text(error);
  }
  // A pipe or a device would block or never end.
  if (::GetFileType(file.handle) != FILE_TYPE_DISK) return "it is not a regular file";
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.handle, &size)) {
    return "cannot read it: " + system_error_text(::GetLastError());
  }
  if (static_cast<unsigned long long>(size.QuadPart) > SETTINGS_FILE_MAX_BYTES) return TOO_LARGE;
  // One byte more than allowed tells a file that grew since the size was read.
  std::string read(SETTINGS_FILE_MAX_BYTES + 1, '\0');
  std::size_t used = 0;
  while (used < read.size()) {
    DWORD got = 0;
    if (!::ReadFile(file.handle, read.data() + used, static_cast<DWORD>(read.size() - used), &got,
                    nullptr)) {
      return "cannot read it: " + system_error_text(::GetLastError());
    }
    if (got == 0) break;
    used += got;
  }
  if (used > SETTINGS_FILE_MAX_BYTES) return TOO_LARGE;
  read.resize(used);
  *text = std::move(read);
  return {};
}

}  // namespace platform
