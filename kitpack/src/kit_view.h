// What kitfetcher takes from a kit description on one kind of Windows: the
// same fields, defaults and stops as its own reader.
#pragma once
#include <string>
#include <vector>

namespace kitpack {

enum class Arch { kX86, kX64 };
const char* ArchName(Arch arch);        // "x86" / "x64"
const char* ArchWindows(Arch arch);     // "32-bit Windows" / "64-bit Windows"

struct KitFile {
  std::string name;
  std::string relativePath;  // empty: none
  std::string baseUrl;       // empty: the kit's own
  bool autorun = false;
  int line = 0;
  std::string Md5Name() const { return name + ".md5"; }
};

struct KitPatch {
  std::string path;
  std::string newValue;
  int line = 0;
};

// Where the reading ended: everything after the stop keeps its default.
enum class ReadStop {
  kNone,           // read through to the requirements
  kNoBaseUrl,      // nothing but the defaults
  kEmptyFileList,  // names and flags read; no patches, default minimums
  kNoPatchList,    // no modifies element: default minimums
  kEmptyPatchList, // modifies without children: default minimums
  kNoRequirements, // no systemRequirements element: default minimums
};

struct KitView {
  std::string baseUrl;  // empty: absent (kitfetcher stores no empty one)
  std::string manufacturerName;
  std::string defaultProductName;
  std::string language;  // lower case
  bool showNewFilesPrompt = true;
  bool defaultNewFilesAnswer = true;
  std::vector<KitFile> files;
  std::vector<KitPatch> patches;
  int cpuFreqMHz = 800;
  int hddMBytes = 800;
  int ramMBytes = 1000;
  ReadStop stop = ReadStop::kNone;
};

// The view as key=value lines, the form the shared sample expectations use.
std::string DescribeView(const KitView& view, Arch arch);

}  // namespace kitpack
