// `kitpack build`: a checked kit description and a folder of kit files laid
// out as the web server's folders and as an offline package.
#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace kitpack {

struct BuildOptions {
  std::string kitFolder;
  std::string locationsPath;
  std::string productCode;
  std::string outFolder;
  std::string programFiles;            // optional
  std::vector<std::string> languages;  // empty: the description's language
  std::vector<std::string> uiTexts;    // translations files; the description's language's goes offline
  std::string signKey;                 // a PEM private key; empty: no manifests
  std::string serial;                  // the manifests' serial as given; empty: one over --out's
};

// The program files an offline package may carry beside the kit.
extern const char* const kProgramFiles[5];

// An exit code of findings.h.
int RunBuild(const BuildOptions& options, std::ostream& out, std::ostream& err);

// The server path a URL names (its path, decoded, without the host); false
// with a reason for what no folder can serve.
bool ServerPathOf(const std::string& url, std::string& path, std::string& why);

// Why a product code cannot be used; empty when it can.
std::string ProductCodeProblem(const std::string& code);

}  // namespace kitpack
