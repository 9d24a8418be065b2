// The settings file read through the Win32 calls. Paths are UTF-8 in the
// program and wide at the calls, so a user folder with any name works.

#include <windows.h>

#include <cerrno>
#include <cstdlib>

#include "platform/error_text.h"
#include "platform/settings_file.h"

namespace platform {
namespace {

std::wstring wide(const std::string& utf8) {
  int size =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring result(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), result.data(),
                        size);
  return result;
}

std::string utf8(const wchar_t* text) {
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string result(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  result.pop_back();  // the terminating NUL
  return result;
}

bool no_such_file(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The words of the Linux build where Windows has the same reason.
std::string reason(DWORD error) {
  if (error == ERROR_ACCESS_DENIED) return error_text_or_number(EACCES);
  if (error == ERROR_SHARING_VIOLATION) return "it is in use by another program";
  return "Windows error " + std::to_string(error);
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : m_handle(handle) {}
  ~Handle() {
    if (valid()) ::CloseHandle(m_handle);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return m_handle; }

 private:
  HANDLE m_handle;
};

// The words of the Linux build for a file beyond the bound.
std::string too_large() {
  return "it is larger than " + std::to_string(SETTINGS_FILE_MAX_BYTES / 1024) + " KiB";
}

}  // namespace

std::string default_settings_file_path() {
  const wchar_t* appdata = ::_wgetenv(L"APPDATA");
  return appdata ? settings_file_path_in_appdata(utf8(appdata)) : std::string();
}

std::string read_settings_text(const std::string& path, std::string* text, MissingFile missing) {
  text->clear();
  if (path.empty() && missing == MissingFile::ALLOWED) return {};
  const std::wstring name = wide(path);
  // A directory cannot be opened as a file; asked first, it is named as one.
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (no_such_file(error) && missing == MissingFile::ALLOWED) return {};
    return "cannot open it: " + reason(error);
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "it is a directory, not a regular file";
  Handle file(::CreateFileW(name.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD error = ::GetLastError();
    if (no_such_file(error) && missing == MissingFile::ALLOWED) return {};
    return "cannot open it: " + reason(error);
  }
  // A console or a pipe would wait for input that may never come.
  const DWORD type = ::GetFileType(file.get());
  if (type == FILE_TYPE_CHAR) return "it is a character device, not a regular file";
  if (type == FILE_TYPE_PIPE) return "it is a pipe, not a regular file";
  if (type != FILE_TYPE_DISK) return "it is not a regular file";
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) return "cannot read it: " + reason(::GetLastError());
  if (static_cast<unsigned long long>(size.QuadPart) > SETTINGS_FILE_MAX_BYTES)
    return too_large();
  // One byte more than allowed tells a file that grew since it was measured.
  std::string read(SETTINGS_FILE_MAX_BYTES + 1, '\0');
  std::size_t used = 0;
  while (used < read.size()) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), read.data() + used, static_cast<DWORD>(read.size() - used), &got,
                    nullptr))
      return "cannot read it: " + reason(::GetLastError());
    if (got == 0) break;
    used += got;
  }
  if (used > SETTINGS_FILE_MAX_BYTES) return too_large();
  read.resize(used);
  *text = std::move(read);
  return {};
}

}  // namespace platform
