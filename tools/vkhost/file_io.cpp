// Files as a careful tool treats them: UTF-8 paths, errors in words, and an
// output that is replaced only by a complete new file.
#include <windows.h>

#include "tools/vkhost/host_internal.h"

namespace {

volatile LONG interrupted = 0;

constexpr size_t kWriteChunk = 1 << 20;

bool Fail(std::string* error, const std::string& message) {
  if (error != nullptr) *error = message;
  return false;
}

// A name beside `path` that no other file has: the new contents are renamed
// from there, and a rename within one folder replaces the old file whole.
HANDLE CreateTemporaryBeside(const std::wstring& path, std::wstring* temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".part";
    HANDLE file = CreateFileW(temporary->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

std::wstring WidePath(const char* utf8) {
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

std::string Utf8FromWide(const wchar_t* wide) {
  int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], length, nullptr, nullptr);
  utf8.resize(static_cast<size_t>(length - 1));
  return utf8;
}

std::string ErrorWords(unsigned long code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND: return "no such file";
    case ERROR_PATH_NOT_FOUND: return "no such folder";
    case ERROR_ACCESS_DENIED: return "permission denied";
    case ERROR_SHARING_VIOLATION: return "the file is in use";
    case ERROR_WRITE_PROTECT: return "the disk is write-protected";
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL: return "the disk is full";
    case ERROR_INVALID_NAME: return "not a valid file name";
    case ERROR_BAD_EXE_FORMAT: return "not a Windows DLL";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return "not enough memory";
    case ERROR_FILENAME_EXCED_RANGE: return "the name is too long";
    case ERROR_DIRECTORY: return "not a folder";
    case ERROR_MOD_NOT_FOUND: return "a DLL it needs is missing";
    case ERROR_DLL_INIT_FAILED: return "its start-up code failed";
    default: return "Windows error " + std::to_string(code);
  }
}

void RequestInterrupt() { InterlockedExchange(&interrupted, 1); }

bool Interrupted() { return InterlockedCompareExchange(&interrupted, 0, 0) != 0; }

bool ReplaceFileContents(const char* path, const void* bytes, size_t size, std::string* error) {
  const std::wstring wide = WidePath(path);
  const std::string prefix = std::string("cannot write ") + path + ": ";
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return Fail(error, prefix + "it is a folder");
  std::wstring temporary;
  HANDLE file = CreateTemporaryBeside(wide, &temporary);
  if (file == INVALID_HANDLE_VALUE) return Fail(error, prefix + ErrorWords(GetLastError()));
  const char* at = static_cast<const char*>(bytes);
  size_t written = 0;
  DWORD failure = 0;
  while (written < size && failure == 0) {
    if (Interrupted()) {
      failure = ERROR_CANCELLED;
      break;
    }
    const DWORD chunk = static_cast<DWORD>(size - written < kWriteChunk ? size - written : kWriteChunk);
    DWORD done = 0;
    if (!WriteFile(file, at + written, chunk, &done, nullptr)) failure = GetLastError();
    else if (done != chunk) failure = ERROR_DISK_FULL;
    written += done;
  }
  if (failure == 0 && !FlushFileBuffers(file)) failure = GetLastError();
  if (!CloseHandle(file) && failure == 0) failure = GetLastError();
  if (failure == 0 && !MoveFileExW(temporary.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    failure = GetLastError();
  if (failure == 0) return true;
  DeleteFileW(temporary.c_str());
  const std::string kept = attributes != INVALID_FILE_ATTRIBUTES ? "; the existing file is left as it was" : "";
  if (failure == ERROR_CANCELLED) return Fail(error, prefix + "interrupted" + kept);
  return Fail(error, prefix + ErrorWords(failure) + kept);
}
