// kitpack's command line: check, keygen, build, verify, help.
#include <algorithm>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "findings.h"
#include "key_file.h"
#include "kit_layout.h"
#include "layout_verify.h"
#include "locations_check.h"
#include "manifest_verify.h"
#include "ui_library.h"
#include "view_summary.h"

namespace {

using namespace kitpack;

const char kUsage[] =
    "usage: kitpack <command> [arguments]\n"
    "\n"
    "  check <locations.xml>   report what kitfetcher would drop, ignore or default\n"
    "  keygen <KEY.pem>        make a signing key and print the <trust> element that pins it\n"
    "  build --kit ... --locations ... --product-code ... --out ... [--sign KEY.pem]\n"
    "                          lay out the server folders and an offline package\n"
    "  verify <folder> [--locations <locations.xml>]\n"
    "                          recompute every .md5 token (and check the signed manifests) of a laid-out folder\n"
    "  ui --texts <file> --out <kitfetcher.ui>\n"
    "                          make the resource library from a translations file (--template: the English one)\n"
    "  check-ui <file>         report what in a translations file kitfetcher cannot show\n"
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
    "files, the patches and the minimums per kind of Windows, and what it trusts.\n"
    "\n"
    "The trust element, <trust key=\"...\" key2=\"...\" minSerial=\"N\" removalLibrary=\"SHA256\"/> as a child of\n"
    "<locations>, must be there once: each key standard base64 on one line of a CryptoAPI PUBLICKEYBLOB of an\n"
    "RSA key of 2048 to 4096 bits (kitpack keygen prints one), minSerial a decimal number of 0..4294967295,\n"
    "removalLibrary the 64 hex digits of wipekit.dll's SHA-256. kitfetcher refuses every kit of a trust element\n"
    "it cannot use, and takes the kit unsigned when the element stands anywhere else.\n"
    "\n"
    "Exit codes: 0 clean, 1 warnings only, 2 errors, 3 the document cannot be read.\n";

const char kBuildHelp[] =
    "usage: kitpack build --kit <folder> --locations <locations.xml> --product-code <code> --out <folder>\n"
    "                     [--language <code>]... [--program-files <folder>] [--sign <KEY.pem> [--serial <N>]]\n"
    "                     [--ui <translations>]...\n"
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
    "--sign writes kitmanifest.txt (product code, serial, and each kit file's relative_path, name, size and\n"
    "SHA-256) and kitmanifest.sig (RSA PKCS#1 v1.5 over SHA-256) beside every productcode.txt. The serial is\n"
    "one over the highest serial of the manifests already in --out (1 when there are none), or --serial N.\n"
    "Refused: a description with <trust> but no --sign; --sign without <trust>, or with a key that is neither\n"
    "its key nor its key2; a serial below its minSerial; a wipekit.dll in --program-files whose SHA-256 is not\n"
    "its removalLibrary (a warning when <trust> pins none: kitfetcher would never load it).\n"
    "\n"
    "--ui (repeatable, one translations file per language; see kitpack help ui) checks each file and puts the\n"
    "library of the one for the description's <language> into offline/ as kitfetcher.ui, in place of one from\n"
    "--program-files. A file is for that language when its language tag, or the tag's first part, is the\n"
    "<language> (ignoring case): language = de or de-AT for <language>DE</language>. The others are checked\n"
    "and left out (a note says so): each language's offline package comes from that language's description.\n"
    "Refused: a file with errors, two files for one language, two files that fit the <language> equally.\n"
    "\n"
    "Exit codes: 0 laid out, 1 laid out with warnings, 2 refused, 3 unreadable input.\n";

const char kVerifyHelp[] =
    "usage: kitpack verify <folder> [--locations <locations.xml>]\n"
    "\n"
    "Recomputes every .md5 token in a laid-out server/ or offline/ folder (or any folder below them) and reports\n"
    "files whose token does not match, tokens without a file and files without a token. productcode.txt,\n"
    "locations.xml, kitmanifest.txt, kitmanifest.sig and the program files carry no token.\n"
    "\n"
    "With --locations, <folder> is a laid-out server/ or offline/ folder (offline: it holds locations.xml), and\n"
    "every kitmanifest.txt in it is checked too, as kitfetcher checks it: its format, its signature under the\n"
    "description's key or key2, its serial against minSerial, its product code against productcode.txt, and\n"
    "every file it lists, at the place the layout puts it, by size and SHA-256. Also reported: a manifest\n"
    "missing where the description pins a key, a listed file missing or one the description does not list, a\n"
    "file the manifest leaves out, an offline package whose locations.xml differs from the one given, and its\n"
    "wipekit.dll against removalLibrary.\n"
    "\n"
    "Exit codes: 0 everything matches, 1 warnings only, 2 problems found, 3 no such folder or an unreadable\n"
    "description.\n";

const char kKeygenHelp[] =
    "usage: kitpack keygen <KEY.pem>\n"
    "\n"
    "Writes a new 3072-bit RSA private key to KEY.pem (unencrypted PEM, readable by its owner alone) and prints,\n"
    "as its last line, the element that pins its public half, to paste into locations.xml as a child of\n"
    "<locations>:\n"
    "  <trust key=\"BASE64 OF THE KEY'S CRYPTOAPI PUBLICKEYBLOB\" minSerial=\"1\"/>\n"
    "Never overwrites a file: to replace a key, give a new file name.\n"
    "\n"
    "Exit codes: 0 written, 2 the file exists, 3 it cannot be created.\n";

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
    PrintTrustSummary(std::cout, check.trust);
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
    else if (option == "--ui") options.uiTexts.push_back(value);
    else if (option == "--sign") options.signKey = value;
    else if (option == "--serial") options.serial = value;
    else return Usage("unknown option " + option, kBuildHelp);
  }
  if (options.kitFolder.empty() || options.locationsPath.empty() || options.productCode.empty() ||
      options.outFolder.empty()) {
    return Usage("build needs --kit, --locations, --product-code and --out", kBuildHelp);
  }
  if (!options.serial.empty() && options.signKey.empty()) return Usage("--serial needs --sign", kBuildHelp);
  return RunBuild(options, std::cout, std::cerr);
}

int Verify(const std::vector<std::string>& args) {
  bool withLocations = args.size() == 3 && args[1] == "--locations";
  if (args.size() != 1 && !withLocations) {
    return Usage("verify takes one folder and, optionally, --locations FILE", kVerifyHelp);
  }
  int tokens = RunVerify(args[0], std::cout, std::cerr);
  if (!withLocations || tokens == kExitUnreadable) return tokens;
  return std::max(tokens, RunManifestVerify(args[0], args[2], std::cout, std::cerr));
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("no command", kUsage);
  std::string command = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "help" || command == "--help" || command == "-h") {
    std::string topic = rest.empty() ? std::string() : rest[0];
    std::cout << (topic == "check" ? kCheckHelp : topic == "build" ? kBuildHelp : topic == "verify" ? kVerifyHelp
                  : topic == "ui" ? kUiHelp : topic == "check-ui" ? kCheckUiHelp
                  : topic == "keygen" ? kKeygenHelp : kUsage);
    return kExitClean;
  }
  const char* help = command == "check" ? kCheckHelp : command == "build" ? kBuildHelp
                     : command == "verify" ? kVerifyHelp : command == "ui" ? kUiHelp
                     : command == "check-ui" ? kCheckUiHelp : command == "keygen" ? kKeygenHelp : nullptr;
  if (!help) return Usage("unknown command " + command, kUsage);
  if (WantsHelp(rest)) {
    std::cout << help;
    return kExitClean;
  }
  if (command == "check") return Check(rest);
  if (command == "build") return Build(rest);
  if (command == "ui") return RunUi(rest, std::cout, std::cerr);
  if (command == "check-ui") {
    if (rest.size() != 1) return Usage("check-ui takes one file", kCheckUiHelp);
    return RunCheckUi(rest[0], std::cout);
  }
  if (command == "keygen") {
    if (rest.size() != 1) return Usage("keygen takes one file", kKeygenHelp);
    return RunKeygen(rest[0], std::cout, std::cerr);
  }
  return Verify(rest);
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
