#include "view_summary.h"

#include "folder_names.h"
#include "kit_url.h"

namespace kitpack {

namespace {

const char* StopText(ReadStop stop) {
  switch (stop) {
    case ReadStop::kEmptyFileList: return "at the empty file list: no patches, default minimums";
    case ReadStop::kNoPatchList: return "without <modifies>: default minimums";
    case ReadStop::kEmptyPatchList: return "at the empty <modifies>: default minimums";
    case ReadStop::kNoRequirements: return "without <systemRequirements>: default minimums";
    default: return nullptr;
  }
}

// kitfetcher passes over an entry whose names could reach outside its folder.
bool Skipped(const KitFile& f) {
  auto refused = [](const std::string& name) { return CheckFolderName(name).verdict == NameVerdict::kRefused; };
  return refused(f.name) || refused(f.Md5Name()) || (!f.relativePath.empty() && refused(f.relativePath));
}

}  // namespace

void PrintViewSummary(std::ostream& out, const KitView& view, Arch arch) {
  out << "On " << ArchWindows(arch) << " (" << ArchName(arch) << ") kitfetcher sees:\n";
  if (view.stop == ReadStop::kNoBaseUrl) {
    out << "  nothing: no base URL, so every field keeps its default\n";
    return;
  }
  out << "  base URL:  " << view.baseUrl << "\n"
      << "  maker:     " << view.manufacturerName << "\n"
      << "  product:   " << view.defaultProductName << "\n"
      << "  language:  " << view.language << "\n"
      << "  new-files prompt " << (view.showNewFilesPrompt ? "shown" : "not shown") << ", default answer "
      << (view.defaultNewFilesAnswer ? "yes" : "no") << "\n";
  out << "  files (" << view.files.size() << "):\n";
  for (const KitFile& f : view.files) {
    std::string templ = f.baseUrl.empty() ? view.baseUrl : f.baseUrl;
    out << "    " << (f.relativePath.empty() ? "" : f.relativePath + "/") << f.name << (f.autorun ? "  [autorun]" : "")
        << (Skipped(f) ? "  [skipped: not a plain name]" : "")
        << "  <- " << ComposeKitUrl(templ, view.language, EntryComponents(f.relativePath, f.name)) << "\n";
  }
  out << "  patches (" << view.patches.size() << "):\n";
  for (const KitPatch& p : view.patches) out << "    " << p.path << " = " << p.newValue << "\n";
  out << "  minimums:  " << view.cpuFreqMHz << " MHz processor, " << view.ramMBytes << " MiB memory, " << view.hddMBytes
      << " MiB free disk\n";
  if (const char* stop = StopText(view.stop)) out << "  reading stops " << stop << "\n";
}

}  // namespace kitpack
