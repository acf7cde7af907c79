// kitpack's command line: check, build, verify, help.
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "findings.h"
#include "kit_layout.h"
#include "layout_verify.h"
#include "locations_check.h"
#include "view_summary.h"

namespace {

using namespace kitpack;

const char kUsage[] =
    "usage: kitpack <command> [arguments]\n"
    "\n"
    "  check <locations.xml>   report what kitfetcher would drop, ignore or default\n"
    "  build --kit ... --locations ... --product-code ... --out ...\n"
    "                          lay out the server folders and an offline package\n"
    "  verify <folder>         recompute every .md5 token of a laid-out folder\n"
    "  help [command]          this text, or a command's own\n"
    "\n"
    "Exit codes: 0 clean, 1 warnings only, 2 errors, 3 unreadable input or a wrong command line.\n";

const char kCheckHelp[] =
    "usage: kitpack check <locations.xml>\n"
    "\n"
    "Reads the kit description the way kitfetcher reads it, once for 32-bit Windows (<x86>) and once for\n"
    "64-bit Windows (<x64>), and reports every place where kitfetcher would silently drop, ignore or default\n"
    "something, as FILE:LINE: error|warning: sentence. Errors are places where kitfetcher's result differs from\n"
    "what the document evidently says; warnings are odd but legal. Then prints what kitfetcher will see: the\n"
    "files, the patches and the minimums per kind of Windows.\n"
    "\n"
    "Exit codes: 0 clean, 1 warnings only, 2 errors, 3 the document cannot be read.\n";

const char kBuildHelp[] =
    "usage: kitpack build --kit <folder> --locations <locations.xml> --product-code <code> --out <folder>\n"
    "                     [--language <code>]... [--program-files <folder>]\n"
    "\n"
    "Checks the description first and lays out nothing when it has errors. Then, from the kit files in --kit\n"
    "(each at its relative_path), writes two folders under --out, each with productcode.txt and a .md5 token\n"
    "beside every kit file (its MD5 as 32 lower-case hex digits):\n"
    "  server/   what the web server must serve: each URL's path below the host, for every language given\n"
    "            with --language (repeatable; default: the description's <language>)\n"
    "  offline/  an offline package: the kit files, locations.xml and whichever of kitfetcher.exe,\n"
    "            kitstarter.exe, kitfetcher.ui, contacts.xml and wipekit.dll --program-files holds\n"
    "\n"
    "server/ and offline/ belong to kitpack: a run brings them to exactly the new layout, rewriting only files\n"
    "that changed and removing files the layout no longer holds. Nothing outside --out is written; --out must\n"
    "not lie inside --kit.\n"
    "\n"
    "Exit codes: 0 laid out, 1 laid out with warnings, 2 refused, 3 unreadable input.\n";

const char kVerifyHelp[] =
    "usage: kitpack verify <folder>\n"
    "\n"
    "Recomputes every .md5 token in a laid-out server/ or offline/ folder (or any folder below them) and reports\n"
    "files whose token does not match, tokens without a file and files without a token. productcode.txt,\n"
    "locations.xml and the program files carry no token.\n"
    "\n"
    "Exit codes: 0 every token matches, 2 problems found, 3 no such folder.\n";

int Usage(const std::string& problem, const char* help) {
  std::cerr << "kitpack: " << problem << "\n\n" << help;
  return kExitUnreadable;
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

int Check(const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage("check takes one file", kCheckHelp);
  LocationsCheck check = CheckLocationsFile(args[0]);
  check.findings.Print(std::cout, args[0]);
  if (check.readable) {
    std::cout << "\n";
    PrintViewSummary(std::cout, check.x86, Arch::kX86);
    PrintViewSummary(std::cout, check.x64, Arch::kX64);
  }
  return check.ExitCode();
}

int Build(const std::vector<std::string>& args) {
  BuildOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (i + 1 >= args.size()) return Usage(option + " needs a value", kBuildHelp);
    const std::string& value = args[++i];
    if (option == "--kit") options.kitFolder = value;
    else if (option == "--locations") options.locationsPath = value;
    else if (option == "--product-code") options.productCode = value;
    else if (option == "--out") options.outFolder = value;
    else if (option == "--program-files") options.programFiles = value;
    else if (option == "--language") options.languages.push_back(value);
    else return Usage("unknown option " + option, kBuildHelp);
  }
  if (options.kitFolder.empty() || options.locationsPath.empty() || options.productCode.empty() ||
      options.outFolder.empty()) {
    return Usage("build needs --kit, --locations, --product-code and --out", kBuildHelp);
  }
  return RunBuild(options, std::cout, std::cerr);
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("no command", kUsage);
  std::string command = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "help" || command == "--help" || command == "-h") {
    std::string topic = rest.empty() ? std::string() : rest[0];
    std::cout << (topic == "check" ? kCheckHelp : topic == "build" ? kBuildHelp : topic == "verify" ? kVerifyHelp : kUsage);
    return kExitClean;
  }
  const char* help = command == "check" ? kCheckHelp : command == "build" ? kBuildHelp
                     : command == "verify" ? kVerifyHelp : nullptr;
  if (!help) return Usage("unknown command " + command, kUsage);
  if (WantsHelp(rest)) {
    std::cout << help;
    return kExitClean;
  }
  if (command == "check") return Check(rest);
  if (command == "build") return Build(rest);
  if (rest.size() != 1) return Usage("verify takes one folder", kVerifyHelp);
  return RunVerify(rest[0], std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    // Whatever the input, the answer is a message, never a crash.
    std::cerr << "kitpack: " << e.what() << "\n";
    return kExitUnreadable;
  }
}
