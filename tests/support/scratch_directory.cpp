#include "support/scratch_directory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <vector>

namespace deckhand::testing {
namespace {

std::filesystem::path UniqueScratchPath() {
  static std::atomic<unsigned> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::ostringstream name;
  name << "deckhand-test-" << stamp << "-" << counter.fetch_add(1);
  return std::filesystem::temp_directory_path() / name.str();
}

}  // namespace

ScratchDirectory::ScratchDirectory()
    : previous_(std::filesystem::current_path()), path_(UniqueScratchPath()) {
  std::filesystem::create_directories(path_);
  std::filesystem::current_path(path_);
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void ScratchDirectory::Write(const std::string& name, std::string_view bytes) const {
  std::filesystem::path file = path_ / name;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << file;
}

std::optional<std::string> ScratchDirectory::Read(const std::string& name) const {
  std::ifstream in(path_ / name, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string ScratchDirectory::ListNames() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    std::string name = entry.path().filename().string();
    if (name != "decksave.ini.lock") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : " ") + name;
  return joined;
}

}  // namespace deckhand::testing
