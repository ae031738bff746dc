#include "host/common/state_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace deckhand::host {
namespace {

// A state file past this is not ours to read (a few hundred bytes per record).
constexpr std::uintmax_t kMaxFileBytes = 16 * 1024 * 1024;

}  // namespace

std::string EscapeField(std::string_view field) {
  std::string out;
  for (unsigned char c : field) {
    if (c > 0x20 && c < 0x7F && c != '%') {
      out += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out.empty() ? "%" : out;
}

std::optional<std::string> UnescapeField(std::string_view field) {
  if (field == "%") return std::string();
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      out += field[i];
      continue;
    }
    if (i + 2 >= field.size()) return std::nullopt;
    unsigned value = 0;
    if (std::sscanf(std::string(field.substr(i + 1, 2)).c_str(), "%2X", &value) != 1) {
      return std::nullopt;
    }
    out += static_cast<char>(value);
    i += 2;
  }
  return out;
}

std::optional<std::vector<StateRecord>> ReadStateFile(const std::string& path, std::string* error) {
  std::vector<StateRecord> records;
  std::error_code failure;
  std::filesystem::file_status status = std::filesystem::symlink_status(path, failure);
  if (status.type() == std::filesystem::file_type::not_found) return records;
  if (status.type() != std::filesystem::file_type::regular ||
      std::filesystem::file_size(path, failure) > kMaxFileBytes || failure) {
    *error = path + " is not a regular file of at most 16 MiB";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path;
    return std::nullopt;
  }
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    StateRecord record;
    bool whole = true;
    for (std::string field; whole && fields >> field;) {
      if (record.empty() && field[0] == '#') break;  // a comment
      std::optional<std::string> value = UnescapeField(field);
      whole = value.has_value();
      if (whole) record.push_back(std::move(*value));
    }
    if (!whole || record.empty()) continue;
    records.push_back(std::move(record));
  }
  return records;
}

bool WriteStateFile(const std::string& path, std::string_view text) {
  std::string temporary = path + ".new";
  ::unlink(temporary.c_str());
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  bool written =
      fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (fd >= 0) written = ::close(fd) == 0 && written;
  if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace deckhand::host
