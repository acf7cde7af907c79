// kitfetcher's resource library (kitfetcher.ui) made from a checked
// translations file: the string table and the progress dialog in the file's
// language, as a resource-only PE32 library. And the commands around it.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "ui_texts.h"

namespace kitpack {

// The library's bytes; the texts must have no errors.
std::string BuildUiLibrary(const UiTexts& ui);

extern const char kUiHelp[];
extern const char kCheckUiHelp[];

// `kitpack ui ...` and `kitpack check-ui FILE`; exit codes of findings.h.
int RunUi(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunCheckUi(const std::string& path, std::ostream& out);

// For `kitpack build --ui`: checks every file and picks the one whose language
// is the description's (its tag, or the tag's first part, equal to it ignoring
// case). Findings go to err, notes to out. An exit code of findings.h; bytes
// stays empty when no file is for that language.
int ChooseUiLibrary(const std::vector<std::string>& files, const std::string& language, std::ostream& out,
                    std::ostream& err, std::string& bytes);

}  // namespace kitpack
