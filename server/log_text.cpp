#include "server/log_text.h"

namespace qxserver {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
constexpr char kEllipsis[] = "\xE2\x80\xA6";     // U+2026
constexpr size_t kEllipsisBytes = sizeof kEllipsis - 1;

// The length of the UTF-8 character at the start of `s` and its code point;
// 0 when the bytes there are not one (overlong forms and surrogates
// included).
size_t Decode(std::string_view s, char32_t& cp) {
  const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = b(0);
  size_t n = 0;
  char32_t min = 0;
  if (lead < 0x80) {
    cp = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2, cp = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3, cp = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((b(i) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

// C0 and C1 controls, DEL, the line and paragraph separators and the
// bidirectional overrides and isolates, which reorder what a reader sees.
bool Unprintable(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029 ||
         (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

}  // namespace

std::string CleanText(std::string_view text, size_t maxBytes) {
  std::string out;
  out.reserve(text.size() < maxBytes ? text.size() : maxBytes);
  // Room kept for the ellipsis while the text may still be cut.
  const size_t room = maxBytes > kEllipsisBytes ? maxBytes - kEllipsisBytes : 0;
  size_t fits = 0;  // bytes of `out` that leave room for the ellipsis
  for (size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    size_t n = Decode(text.substr(i), cp);
    std::string_view piece = text.substr(i, n);
    if (n == 0) {
      n = 1;
      piece = kReplacement;
    } else if (Unprintable(cp)) {
      i += n;
      continue;
    }
    i += n;
    if (out.size() + piece.size() > maxBytes) {
      out.resize(fits);
      if (maxBytes >= kEllipsisBytes) out += kEllipsis;
      return out;
    }
    out += piece;
    if (out.size() <= room) fits = out.size();
  }
  return out;
}

}  // namespace qxserver
