#include "kit_view.h"

namespace kitpack {

const char* ArchName(Arch arch) { return arch == Arch::kX64 ? "x64" : "x86"; }
const char* ArchWindows(Arch arch) { return arch == Arch::kX64 ? "64-bit Windows" : "32-bit Windows"; }

std::string DescribeView(const KitView& view, Arch arch) {
  const std::string p = std::string(ArchName(arch)) + ".";
  std::string out;
  auto line = [&out, &p](const std::string& key, const std::string& value) { out += p + key + "=" + value + "\n"; };
  line("base_url", view.baseUrl);
  line("manufacturer", view.manufacturerName);
  line("product", view.defaultProductName);
  line("language", view.language);
  line("flags", std::string(view.showNewFilesPrompt ? "1" : "0") + " " + (view.defaultNewFilesAnswer ? "1" : "0"));
  for (const KitFile& f : view.files) {
    line("file", f.name + "|" + f.relativePath + "|" + (f.autorun ? "1" : "0") + "|" + f.baseUrl);
  }
  for (const KitPatch& patch : view.patches) line("patch", patch.path + "|" + patch.newValue);
  line("minimums", std::to_string(view.cpuFreqMHz) + " " + std::to_string(view.hddMBytes) + " " +
                       std::to_string(view.ramMBytes));
  return out;
}

}  // namespace kitpack
