#include "storage/ini_walk.h"

#include <algorithm>
#include <utility>

#include "text/shift_jis.h"

namespace deckhand {
namespace {

// The section a slot reads when two given sections share it: every key told apart for either.
void Merge(IniSectionRead& slot, IniSectionRead added) {
  slot.most_numbered = std::max(slot.most_numbered, added.most_numbered);
  if (!added.every_key) return;
  if (!slot.every_key) {
    slot.every_key = true;
    slot.keep = std::move(added.keep);
  } else if (!slot.keep || !added.keep) {
    slot.keep = nullptr;  // one of them keeps every key
  } else {
    slot.keep = [first = std::move(slot.keep), second = std::move(added.keep)](
                    std::string_view key) { return first(key) || second(key); };
  }
}

}  // namespace

bool IniKeyMayBeEscaped(std::string_view written_key) {
  constexpr std::string_view kEscapeOpen = "~ ";
  return written_key.substr(0, kEscapeOpen.size()) == kEscapeOpen;
}

IniKeyMatcher::IniKeyMatcher(std::string_view key) : key_(key), escaped_(IniKeyNeedsEscape(key)) {}

bool IniKeyMatcher::MatchesEscaped(std::string_view written_key) const {
  if (written_key.empty()) return false;
  if (!IniKeyMayBeEscaped(written_key)) return NamesMatch(written_key, key_);
  return NamesMatch(EffectiveIniKey(written_key), key_);
}

std::optional<std::size_t> IniPlainNumber(std::string_view key, std::size_t limit) {
  if (limit == 0 || key.empty() || key.size() > 9 || key.front() == '0') return std::nullopt;
  std::size_t number = 0;
  for (char c : key) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<std::size_t>(c - '0');
  }
  if (number > limit) return std::nullopt;
  return number;
}

IniWalker::IniWalker(std::vector<IniSectionRead> sections, std::vector<IniTarget> targets)
    : found_(targets.size(), 0) {
  for (IniSectionRead& section : sections) {
    std::size_t slot = 0;
    while (slot < slots_.size() && !NamesMatch(slots_[slot].read.name, section.name)) ++slot;
    if (slot == slots_.size()) {
      slots_.push_back(Slot{std::move(section), false, {}, {}, {}});
    } else {
      Merge(slots_[slot].read, std::move(section));
    }
    slot_of_.push_back(slot);
  }
  matchers_.reserve(targets.size());
  for (std::size_t t = 0; t < targets.size(); ++t) {
    matchers_.emplace_back(targets[t].key);
    slots_[slot_of_[targets[t].section]].targets.push_back(t);
  }
}

void IniWalker::TakeHeader(const IniLine& line, IniStep& step) {
  if (current_ != IniStep::kNone) ++sections_ended_;
  current_ = IniStep::kNone;
  for (std::size_t slot = 0; slot < slots_.size(); ++slot) {
    if (!NamesMatch(line.name, slots_[slot].read.name)) continue;
    // Only the first section of a name is ever read.
    step.repeats_section = slots_[slot].seen;
    step.opens_section = !slots_[slot].seen;
    if (step.opens_section) current_ = slot;
    slots_[slot].seen = true;
    break;
  }
  step.slot = current_;
}

void IniWalker::TellKeyApart(const IniLine& line, Slot& slot, IniStep& step) {
  std::size_t* first = nullptr;
  // A plain number is a key that neither folding nor decoding changes.
  if (std::optional<std::size_t> number = IniPlainNumber(line.name, slot.read.most_numbered)) {
    if (*number >= slot.numbered_begins.size()) {
      slot.numbered_begins.resize(*number + 1, IniStep::kNone);
    }
    first = &slot.numbered_begins[*number];
    step.key = line.name;
    step.number = *number;
  } else if (slot.read.keep && !slot.read.keep(line.name)) {
    return;
  } else if (line.name.empty()) {
    return;  // a line of no key is no entry
  } else {
    step.key = line.name;
    if (IniKeyMayBeEscaped(line.name)) {
      decoded_key_ = EffectiveIniKey(line.name);
      step.key = decoded_key_;
    }
    first = &slot.first_begins.try_emplace(FoldNameCase(step.key), IniStep::kNone).first->second;
  }
  step.first_of_key = *first == IniStep::kNone;
  if (step.first_of_key) {
    *first = line.begin;
  } else {
    step.first_begin = *first;
  }
}

}  // namespace deckhand
