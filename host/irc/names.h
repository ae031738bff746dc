// Nicks and channel names compared as IRC compares them.
#pragma once

#include <string>
#include <string_view>

namespace deckhand::irc {

// How the server folds letter case in names (its ISUPPORT CASEMAPPING): rfc1459, the default,
// takes "[]\~" as the upper case of "{}|^"; strict-rfc1459 leaves "~" and "^" apart; ascii folds
// only the letters; the UTF-8 mappings (rfc7613, rfc8265) fold every letter of UTF-8 names to
// lower case, as Unicode does ("Zoë" and "ZOË" are one nick).
enum class CaseMapping { kRfc1459, kStrictRfc1459, kAscii, kUnicode };

// The mapping a CASEMAPPING value names; rfc1459 for one the bot does not know.
CaseMapping ParseCaseMapping(std::string_view value);

bool SameName(std::string_view a, std::string_view b, CaseMapping mapping = CaseMapping::kRfc1459);
std::string FoldName(std::string_view name, CaseMapping mapping = CaseMapping::kRfc1459);

}  // namespace deckhand::irc
