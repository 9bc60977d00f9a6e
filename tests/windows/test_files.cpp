#include "tests/windows/test_files.h"

#include "windows/win32.h"

namespace orvane::test {
namespace {

using windows::KernelHandle;
using windows::wide;

std::u16string temp_root() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  std::u16string root(windows::utf16(buffer), length);
  if (!root.empty() && root.back() == u'\\') root.pop_back();
  return root + u"\\orvane-tests";
}

struct FindTraits {
  using Raw = HANDLE;
  static Raw empty() { return INVALID_HANDLE_VALUE; }
  static bool is_open(Raw raw) { return raw != INVALID_HANDLE_VALUE; }
  static void release(Raw raw) { FindClose(raw); }
};
using FindHandle = UniqueHandle<FindTraits>;

}  // namespace

std::u16string extended(std::u16string_view path) {
  std::u16string text(path);
  for (char16_t& unit : text) {
    if (unit == u'/') unit = u'\\';
  }
  return text.starts_with(u"\\\\?\\") ? text : u"\\\\?\\" + text;
}

bool make_folders(std::u16string_view path) {
  const std::u16string full = extended(path);
  // Past "\\?\C:\": create each folder in turn, an existing one included.
  for (std::size_t at = full.find(u'\\', 7); at != std::u16string::npos; at = full.find(u'\\', at + 1)) {
    CreateDirectoryW(wide(full.substr(0, at).c_str()), nullptr);
  }
  CreateDirectoryW(wide(full.c_str()), nullptr);
  const DWORD attributes = GetFileAttributesW(wide(full.c_str()));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool write_file(std::u16string_view path, std::string_view bytes) {
  const KernelHandle file(CreateFileW(wide(extended(path).c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0 &&
         written == bytes.size();
}

// Wine's CopyFileW fails on long destinations, so the copy is a read and a write.
bool copy_file(std::u16string_view from, std::u16string_view to) {
  const KernelHandle source(CreateFileW(wide(extended(from).c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!source.valid()) return false;
  return write_file(to, read_file(from));
}

std::string read_file(std::u16string_view path) {
  const KernelHandle file(CreateFileW(wide(extended(path).c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string bytes;
  if (!file.valid()) return bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) != 0 && read != 0) bytes.append(buffer, read);
  return bytes;
}

void remove_tree(std::u16string_view path) {
  const std::u16string full = extended(path);
  const DWORD attributes = GetFileAttributesW(wide(full.c_str()));
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    SetFileAttributesW(wide(full.c_str()), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(wide(full.c_str()));
    return;
  }
  {
    // Closed before the folder is removed.
    WIN32_FIND_DATAW entry{};
    const FindHandle find(FindFirstFileW(wide((full + u"\\*").c_str()), &entry));
    if (find.valid()) {
      do {
        const std::u16string name(windows::utf16(entry.cFileName));
        if (name != u"." && name != u"..") remove_tree(full + u"\\" + name);
      } while (FindNextFileW(find.get(), &entry) != 0);
    }
  }
  RemoveDirectoryW(wide(full.c_str()));
}

std::u16string deep_folder(std::u16string_view base, std::size_t length) {
  std::u16string path(base);
  for (char16_t letter = u'a'; length > path.size() + 41; ++letter) {
    path.push_back(u'\\');
    path.append(40, letter);
  }
  if (length > path.size() + 1) {
    path.push_back(u'\\');
    path.append(length - path.size(), u'z');
  }
  return path;
}

TempFolder::TempFolder(std::u16string_view name) : path_(temp_root() + u"\\" + std::u16string(name)) {
  remove_tree(path_);
  make_folders(path_);
}

TempFolder::~TempFolder() { remove_tree(path_); }

}  // namespace orvane::test
