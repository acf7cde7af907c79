// Text as the tests read it back from files: split into lines, and converted
// between bytes in a code page and wide characters.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace kittest {

// Lines ended by "\n" or "\r\n"; a final line end opens no empty line.
template <typename Char>
std::vector<std::basic_string<Char> > SplitLines(const std::basic_string<Char>& text) {
  std::vector<std::basic_string<Char> > lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(Char('\n'), start);
    if (end == std::basic_string<Char>::npos) end = text.size();
    std::basic_string<Char> line = text.substr(start, end - start);
    if (!line.empty() && line[line.size() - 1] == Char('\r')) line.erase(line.size() - 1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

inline std::wstring WideFromBytes(const std::string& bytes, UINT codePage) {
  if (bytes.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), NULL, 0);
  if (n <= 0) return std::wstring();
  std::wstring text(n, L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], n);
  return text;
}

inline std::string BytesFromWide(const std::wstring& text, UINT codePage) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), NULL, 0, NULL, NULL);
  if (n <= 0) return std::string();
  std::string bytes(n, '\0');
  WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], n, NULL, NULL);
  return bytes;
}

}  // namespace kittest
