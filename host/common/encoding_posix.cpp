// Character sets through iconv and the locale, as POSIX systems provide them.
#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>

#include "host/common/encoding.h"

namespace deckhand::host {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);  // iconv_open's failure

// An iconv descriptor closed when it goes out of scope.
class Converter {
 public:
  Converter(const std::string& from, const std::string& to)
      : descriptor_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(descriptor_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return descriptor_ != kNoConverter; }
  iconv_t get() const { return descriptor_; }

 private:
  iconv_t descriptor_;
};

}  // namespace

// Code page 932 rather than plain Shift_JIS: it holds the extra characters (circled numbers,
// the NEC and IBM rows) that Windows tools write into card files.
const char* const kLibraryCharset = "CP932";

std::string DetectTerminalCharset() {
  std::setlocale(LC_ALL, "");
  return nl_langinfo(CODESET);
}

bool CanConvert(const std::string& from, const std::string& to) { return Converter(from, to).ok(); }

std::size_t ConvertPrefix(const std::string& from, const std::string& to, std::string_view text,
                          std::string& out) {
  Converter converter(from, to);
  if (!converter.ok()) return 0;
  char* in = const_cast<char*>(text.data());  // iconv's signature; it does not write the input
  std::size_t in_left = text.size();
  char chunk[256];
  while (in_left > 0) {
    char* chunk_end = chunk;
    std::size_t chunk_left = sizeof chunk;
    std::size_t result = iconv(converter.get(), &in, &in_left, &chunk_end, &chunk_left);
    out.append(chunk, chunk_end);
    // E2BIG only means the chunk is full; anything else stops at the character that failed.
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) break;
  }
  // Close any shift state that a stateful output set left open.
  char* chunk_end = chunk;
  std::size_t chunk_left = sizeof chunk;
  iconv(converter.get(), nullptr, nullptr, &chunk_end, &chunk_left);
  out.append(chunk, chunk_end);
  return text.size() - in_left;
}

}  // namespace deckhand::host
