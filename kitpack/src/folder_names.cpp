#include "folder_names.h"

#include "text_units.h"

namespace kitpack {

namespace {

const size_t kNameMaxUnits = 255;

bool IsDeviceName(const std::string& name) {
  // Windows takes the device for the part before the first dot, blanks trimmed.
  std::string stem = AsciiLower(name.substr(0, name.find('.')));
  stem.erase(stem.find_last_not_of(' ') + 1);
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* device : kDevices) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

NameCheck CheckFolderName(const std::string& name) {
  if (name.empty()) return {NameVerdict::kRefused, "is empty"};
  if (Utf16Units(name) > kNameMaxUnits) return {NameVerdict::kRefused, "is longer than 255 characters"};
  for (unsigned char c : name) {
    if (c < 0x20) return {NameVerdict::kRefused, "holds a control character"};
    if (c == '/' || c == '\\') return {NameVerdict::kRefused, "holds a path separator (one folder name only)"};
    if (c == ':') return {NameVerdict::kRefused, "holds a colon (a drive or a stream)"};
    if (std::string("<>\"|?*").find(static_cast<char>(c)) != std::string::npos) {
      return {NameVerdict::kRefused, std::string("holds '") + static_cast<char>(c) + "', which Windows forbids in names"};
    }
  }
  size_t kept = name.find_last_not_of(". ");
  if (kept == std::string::npos) return {NameVerdict::kRefused, "is nothing but dots and blanks once Windows strips them"};
  if (IsDeviceName(name)) return {NameVerdict::kRefused, "names a Windows device"};
  if (kept + 1 < name.size()) {
    return {NameVerdict::kStripped, "ends in dots or blanks, which Windows drops: it becomes \"" +
                                        name.substr(0, kept + 1) + "\""};
  }
  return {NameVerdict::kPlain, std::string()};
}

}  // namespace kitpack
