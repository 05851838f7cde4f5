#pragma once
// UTF-8 <-> UTF-16 for the Linux stand-ins, whose files and system names are UTF-8.

#include <string>
#include <string_view>

#include "core/types.h"

namespace tarvex {

// Strict: false on any ill-formed sequence (overlong, surrogate, > U+10FFFF).
// With lenient set, each bad sequence becomes U+FFFD and the result is true.
inline bool Utf8ToText(std::string_view in, Text& out, bool lenient = false) {
  out.clear();
  out.reserve(in.size());
  std::size_t i = 0;
  while (i < in.size()) {
    const auto b0 = static_cast<unsigned char>(in[i]);
    char32_t cp = 0;
    std::size_t len = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
      cp = b0, len = 1;
    } else if ((b0 & 0xE0) == 0xC0) {
      cp = b0 & 0x1F, len = 2, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      cp = b0 & 0x0F, len = 3, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      cp = b0 & 0x07, len = 4, min = 0x10000;
    }
    bool ok = len != 0 && i + len <= in.size();
    for (std::size_t k = 1; ok && k < len; ++k) {
      const auto b = static_cast<unsigned char>(in[i + k]);
      if ((b & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      if (!lenient) return false;
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return true;
}

// An unpaired surrogate becomes U+FFFD.
inline std::string TextToUtf8(const Text& in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    char32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
        in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace tarvex
