#include "table/transcript.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "storage/data_path.h"
#include "storage/file_ops.h"

namespace deckhand::table {
namespace {

TranscriptSettings active_settings;

constexpr std::string_view kTranscriptEnd = ".jsonl";

std::string JsonNames(const Cards& cards) {
  std::string json = "[";
  for (std::size_t i = 0; i < cards.size(); ++i) {
    if (i > 0) json += ',';
    json += JsonBytes(cards[i].name);
  }
  return json + "]";
}

std::string Orientation(const Cards& cards) {
  std::string flags;
  for (const Card& card : cards) flags += card.reversed ? 'R' : 'U';
  return flags;
}

// A byte string as a file name on any platform: letters, digits, '-' and '.' stay; every other
// byte is "%XX".
std::string FileNamePart(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string part;
  for (char c : bytes) {
    auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
        (byte >= '0' && byte <= '9') || byte == '-') {
      part += c;
    } else {
      part += '%';
      part += kDigits[byte >> 4];
      part += kDigits[byte & 0x0F];
    }
  }
  return part;
}

// The time now in UTC, its fields in `format`'s order: year, month, day, hours, minutes, seconds.
std::string UtcStamp(const char* format) {
  using namespace std::chrono;
  auto now = floor<seconds>(system_clock::now());
  auto today = floor<days>(now);
  year_month_day date(today);
  hh_mm_ss time(now - today);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, format, static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return stamp;
}

// Removes the transcripts older than the setting's days, then the oldest while more than its
// files - 1 remain, so that the new one makes at most its files.
void PruneTranscripts(const std::filesystem::path& directory) {
  namespace fs = std::filesystem;
  std::error_code error;
  std::vector<std::pair<fs::file_time_type, fs::path>> kept;
  const auto oldest_kept =
      fs::file_time_type::clock::now() -
      std::chrono::duration_cast<fs::file_time_type::duration>(
          std::chrono::duration<double, std::ratio<86400>>(active_settings.days));
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    const fs::path& path = it->path();
    if (path.extension().string() != kTranscriptEnd || !it->is_regular_file(error)) continue;
    fs::file_time_type written = it->last_write_time(error);
    if (error) continue;
    if (written < oldest_kept) {
      fs::remove(path, error);
    } else {
      kept.emplace_back(written, path);
    }
  }
  std::sort(kept.begin(), kept.end());
  std::size_t most = std::max<std::size_t>(active_settings.files, 1) - 1;
  for (std::size_t i = 0; i + most < kept.size(); ++i) fs::remove(kept[i].second, error);
}

}  // namespace

void SetTranscripts(const TranscriptSettings& settings) { active_settings = settings; }

const TranscriptSettings& ActiveTranscriptSettings() { return active_settings; }

std::string JsonBytes(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string json = "\"";
  for (char c : bytes) {
    auto byte = static_cast<unsigned char>(c);
    if (byte == '"' || byte == '\\') {
      json += '\\';
      json += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      json += "\\u00";
      json += kDigits[byte >> 4];
      json += kDigits[byte & 0x0F];
    } else if (byte < 0x80) {
      json += c;
    } else {
      // U+0080 to U+00FF in UTF-8.
      json += static_cast<char>(0xC0 | (byte >> 6));
      json += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return json + "\"";
}

void TranscriptLines::Add(std::string line) { lines_.emplace_back(file_, std::move(line)); }

void TranscriptLines::Game(std::string_view place, std::string_view deck) {
  Add("{\"type\":\"game\",\"construction\":" + JsonBytes(kFairShuffleName) +
      ",\"place\":" + JsonBytes(place) + ",\"deck\":" + JsonBytes(deck) + ",\"started\":\"" +
      UtcStamp("%04d-%02u-%02uT%02d:%02d:%02dZ") + "\"}");
}

void TranscriptLines::Commit(std::uint64_t number, std::string_view commitment) {
  Add("{\"type\":\"commit\",\"shuffle\":" + std::to_string(number) +
      ",\"commitment\":" + JsonBytes(commitment) + "}");
}

void TranscriptLines::Seed(std::uint64_t number, std::string_view player, std::string_view text) {
  Add("{\"type\":\"seed\",\"shuffle\":" + std::to_string(number) +
      ",\"player\":" + JsonBytes(player) + ",\"text\":" + JsonBytes(text) + "}");
}

void TranscriptLines::Shuffle(std::uint64_t number, std::string_view commitment,
                              std::string_view kind, bool reversible, const PlayerSeeds& players,
                              const Cards& input, const Cards& output) {
  std::string seeds = "[";
  for (std::size_t i = 0; i < players.size(); ++i) {
    if (i > 0) seeds += ',';
    seeds += "[" + JsonBytes(players[i].first) + "," + JsonBytes(players[i].second) + "]";
  }
  Add("{\"type\":\"shuffle\",\"shuffle\":" + std::to_string(number) +
      ",\"commitment\":" + JsonBytes(commitment) + ",\"kind\":" + JsonBytes(kind) +
      ",\"reversible\":" + (reversible ? "true" : "false") + ",\"player_seeds\":" + seeds +
      "],\"input\":" + JsonNames(input) + ",\"output\":" + JsonNames(output) +
      ",\"orientation\":\"" + Orientation(output) + "\"}");
}

void TranscriptLines::Draw(const std::vector<std::size_t>& positions, const Cards& cards,
                           std::string_view player) {
  std::string at = "[";
  for (std::size_t i = 0; i < positions.size(); ++i) {
    if (i > 0) at += ',';
    at += std::to_string(positions[i]);
  }
  Add("{\"type\":\"draw\",\"positions\":" + at + "],\"cards\":" + JsonNames(cards) +
      ",\"to\":" + JsonBytes(player) + "}");
}

void TranscriptLines::Deal(const std::vector<std::pair<std::string, Cards>>& dealt,
                           const Cards& taken) {
  std::string players = "[";
  for (std::size_t i = 0; i < dealt.size(); ++i) {
    if (i > 0) players += ',';
    players += JsonBytes(dealt[i].first);
  }
  Add("{\"type\":\"deal\",\"players\":" + players + "],\"cards\":" + JsonNames(taken) + "}");
}

void TranscriptLines::Play(std::string_view player, const Cards& cards, std::string_view receiver) {
  Add("{\"type\":\"play\",\"player\":" + JsonBytes(player) + ",\"cards\":" + JsonNames(cards) +
      ",\"to\":" + JsonBytes(receiver) + "}");
}

void TranscriptLines::Reveal(const std::vector<std::pair<std::uint64_t, std::string>>& seeds) {
  std::string revealed = "[";
  for (std::size_t i = 0; i < seeds.size(); ++i) {
    if (i > 0) revealed += ',';
    revealed += "[" + std::to_string(seeds[i].first) + "," + JsonBytes(seeds[i].second) + "]";
  }
  Add("{\"type\":\"reveal\",\"seeds\":" + revealed + "]}");
}

bool TranscriptLines::Write() const {
  bool written = true;
  for (std::size_t first = 0; first < lines_.size();) {
    const std::string& file = lines_[first].first;
    std::string added;
    std::size_t end = first;
    for (; end < lines_.size() && lines_[end].first == file; ++end) {
      added += lines_[end].second + "\n";
    }
    first = end;
    if (file.empty()) continue;
    std::string path = MakeAccessPath(std::string(kTranscriptDirectory) + "/" + file);
    FileContent old = ActiveFileOps().ReadWhole(path, Links::kRefuse);
    if (old.outcome == ReadOutcome::kUnreadable) {
      written = false;
      continue;
    }
    written = ReplaceFileAtomically(path, {std::string_view(old.bytes), added}) && written;
  }
  return written;
}

std::string NewTranscript(std::string_view place, std::string_view deck,
                          std::uint64_t first_shuffle) {
  std::filesystem::path directory(MakeAccessPath(kTranscriptDirectory));
  std::error_code error;
  // A link planted where the directory should be would have games written, and old files
  // pruned, wherever it points: such a game is not recorded.
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(directory, error))) return "";
  std::filesystem::create_directory(directory, error);
  PruneTranscripts(directory);
  std::string name = FileNamePart(place);
  if (!deck.empty()) name += "@" + FileNamePart(deck);
  return name + "_" + UtcStamp("%04d%02u%02u-%02d%02d%02d") + "_" + std::to_string(first_shuffle) +
         std::string(kTranscriptEnd);
}

}  // namespace deckhand::table
