#include "kit_url.h"

namespace kitpack {

int CountLanguageSlots(const std::string& templ) {
  int slots = 0;
  for (size_t i = 0; i + 1 < templ.size(); ++i) {
    if (templ[i] == '%' && templ[i + 1] == 's') {
      ++slots;
      ++i;
    }
  }
  return slots;
}

std::string LanguageSlotProblem(const std::string& templ) {
  int slots = CountLanguageSlots(templ);
  if (slots == 0) return "has no %s: the language never reaches the URL";
  if (slots > 1) {
    return "has " + std::to_string(slots) + " %s: only the first is replaced by the language, the others by nothing";
  }
  return std::string();
}

std::string ComposeKitUrl(const std::string& templ, const std::string& language,
                          const std::vector<std::string>& components) {
  std::string url;
  bool first = true;
  for (size_t i = 0; i < templ.size(); ++i) {
    if (templ[i] == '%' && i + 1 < templ.size() && templ[i + 1] == 's') {
      if (first) url += language;
      first = false;
      ++i;
    } else {
      url += templ[i];
    }
  }
  for (const std::string& component : components) {
    if (url.empty() || url.back() != '/') url += '/';
    url += component;
  }
  return url;
}

std::vector<std::string> EntryComponents(const std::string& relativePath, const std::string& leaf) {
  std::vector<std::string> components;
  if (!relativePath.empty()) components.push_back(relativePath);
  components.push_back(leaf);
  return components;
}

}  // namespace kitpack
