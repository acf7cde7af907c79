#include "tree_writer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace kitpack {

namespace {

bool ReadAll(const fs::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Same bytes as the planned content; a missing or unreadable file is not.
bool Matches(const fs::path& target, const PlannedFile& planned) {
  std::error_code ec;
  if (!fs::is_regular_file(fs::symlink_status(target, ec))) return false;
  if (planned.source.empty()) {
    std::string current;
    return ReadAll(target, current) && current == planned.bytes;
  }
  if (fs::file_size(target, ec) != fs::file_size(planned.source, ec) || ec) return false;
  std::ifstream a(target, std::ios::binary), b(planned.source, std::ios::binary);
  std::vector<char> x(1 << 16), y(1 << 16);
  while (a && b) {
    a.read(x.data(), static_cast<std::streamsize>(x.size()));
    b.read(y.data(), static_cast<std::streamsize>(y.size()));
    if (a.gcount() != b.gcount() || !std::equal(x.begin(), x.begin() + a.gcount(), y.begin())) return false;
  }
  return !a.bad() && !b.bad();
}

// Makes every folder from root down to dir a real folder: a link or a file in
// the way is removed, so nothing is written through a link.
bool MakeRealFolders(const fs::path& root, const fs::path& relativeDir, std::error_code& ec) {
  fs::path at = root;
  std::vector<fs::path> steps = {fs::path()};
  for (const fs::path& part : relativeDir) steps.push_back(part);
  for (const fs::path& part : steps) {
    if (!part.empty()) at /= part;
    fs::file_status status = fs::symlink_status(at, ec);  // a missing path is no error here
    ec.clear();
    if (fs::is_directory(status)) continue;
    if (fs::exists(status) || fs::is_symlink(status)) fs::remove(at, ec);
    if (ec) return false;
    fs::create_directory(at, ec);
    if (ec) return false;
  }
  return true;
}

bool Write(const fs::path& target, const PlannedFile& planned, std::error_code& ec) {
  fs::path temporary = target;
  temporary += ".kitpack-tmp";
  fs::remove(temporary, ec);
  if (planned.source.empty()) {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(planned.bytes.data(), static_cast<std::streamsize>(planned.bytes.size()));
    if (!out.flush()) return false;
  } else if (!fs::copy_file(planned.source, temporary, fs::copy_options::overwrite_existing, ec)) {
    return false;
  }
  if (fs::is_symlink(fs::symlink_status(target, ec)) || fs::is_directory(fs::symlink_status(target, ec))) {
    fs::remove_all(target, ec);
  }
  fs::rename(temporary, target, ec);
  return !ec;
}

}  // namespace

bool WriteTree(const std::string& folder, const TreePlan& plan, std::ostream& err) {
  std::error_code ec;
  fs::path root(folder);
  fs::create_directories(root.parent_path(), ec);
  if (ec || !MakeRealFolders(root, fs::path(), ec)) {
    err << "kitpack: cannot create " << folder << ": " << ec.message() << "\n";
    return false;
  }
  for (const auto& entry : plan) {
    fs::path relative = fs::path(entry.first);
    fs::path target = root / relative;
    if (Matches(target, entry.second)) continue;
    if (!MakeRealFolders(root, relative.parent_path(), ec) || !Write(target, entry.second, ec)) {
      err << "kitpack: cannot write " << target.string() << (ec ? ": " + ec.message() : std::string()) << "\n";
      return false;
    }
  }
  // What the plan lacks goes; links are removed as links.
  std::vector<fs::path> stale;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    std::string relative = fs::relative(it->path(), root, ec).generic_string();
    if (it->is_symlink() || !it->is_directory()) {
      if (!plan.count(relative)) stale.push_back(it->path());
    }
  }
  for (const fs::path& path : stale) fs::remove(path, ec);
  // Folders left empty, deepest first.
  std::vector<fs::path> folders;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory() && !it->is_symlink()) folders.push_back(it->path());
  }
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    if (fs::is_empty(*it, ec)) fs::remove(*it, ec);
  }
  return true;
}

}  // namespace kitpack
