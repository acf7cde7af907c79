// Stand-in for a kit's self-extracting autorun file: unpacks the files appended
// to its own executable into the current folder, then records its start the way
// record_start does ("<own path>.started.txt" is not written: the file is deleted
// after it ran, so the record goes to "extracted.txt" in the current folder).
//
// Payload, appended after the program image:
//   repeated { u32 nameBytes, UTF-8 name (may hold '\' for sub-folders), u32 dataBytes, data }
//   footer   { u32 payloadOffset, "KITPACK1" }
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

std::wstring Wide(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), NULL, 0);
  std::wstring out(n, L'\0');
  if (n) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

bool ReadAll(const wchar_t* path, std::vector<char>& data) {
  FILE* f = _wfopen(path, L"rb");
  if (!f) return false;
  char chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof(chunk), f)) > 0) data.insert(data.end(), chunk, chunk + n);
  fclose(f);
  return true;
}

uint32_t U32(const std::vector<char>& d, size_t at) {
  uint32_t v;
  memcpy(&v, &d[at], 4);
  return v;
}

void MakeParents(const std::wstring& path) {
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), NULL);
  }
}

}  // namespace

int wmain() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(NULL, self, MAX_PATH);
  std::vector<char> image;
  if (!ReadAll(self, image) || image.size() < 12) return 1;
  size_t end = image.size();
  if (memcmp(&image[end - 8], "KITPACK1", 8) != 0) return 2;
  size_t at = U32(image, end - 12);
  FILE* record = _wfopen(L"extracted.txt", L"ab");
  while (at + 8 <= end - 12) {
    uint32_t nameBytes = U32(image, at);
    at += 4;
    if (at + nameBytes + 4 > end - 12) return 3;
    std::wstring name = Wide(std::string(&image[at], nameBytes));
    at += nameBytes;
    uint32_t dataBytes = U32(image, at);
    at += 4;
    if (at + dataBytes > end - 12) return 3;
    MakeParents(name);
    FILE* out = _wfopen(name.c_str(), L"wb");
    if (!out) return 4;
    if (dataBytes) fwrite(&image[at], 1, dataBytes, out);
    fclose(out);
    at += dataBytes;
    if (record) {
      std::string line(&image[at - dataBytes - 4 - nameBytes], nameBytes);
      fprintf(record, "%s\n", line.c_str());
    }
  }
  if (record) fclose(record);
  return 0;
}
