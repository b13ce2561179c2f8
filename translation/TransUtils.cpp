#include "TransUtils.h"

#include "TransWordList.h"

#include "platform/CodePage.h"

#include <cstddef>
#include <utility>

namespace {

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

char16_t foldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool sameIgnoringAsciiCase(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (foldAscii(a[i]) != foldAscii(b[i])) return false;
  return true;
}

void eraseFirst(std::string& text, const std::string& what) {
  if (auto pos = text.find(what); pos != std::string::npos) text.erase(pos, what.size());
}

std::string withoutMarkers(std::string text) {
  eraseFirst(text, "(__");
  eraseFirst(text, "__)");
  return text;
}

}  // namespace

std::u16string UnescapeText(const std::u16string& text) {
  std::u16string result;
  result.reserve(text.size());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t c = text[i];
    if (c != u'\\' || i + 1 == n) {
      result.push_back(c);
      continue;
    }
    const char16_t next = text[i + 1];
    if (i + 2 < n && isDigit(next) && isDigit(text[i + 2])) {
      result.push_back(static_cast<char16_t>((next - u'0') * 10 + (text[i + 2] - u'0')));
      i += 2;
    } else if (next == u'\\') {
      result.push_back(u'\\');
      ++i;
    } else if (next == u'n') {
      result += u"\r\n";
      ++i;
    } else if (next == u't') {
      result.push_back(u'\t');
      ++i;
    } else {
      result.push_back(c);
    }
  }
  return result;
}

bool Utf8ToWide(const std::string& utf8, std::u16string& wide) {
  wide.clear();
  std::u16string decoded;
  decoded.reserve(utf8.size());
  const std::size_t n = utf8.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char lead = utf8[i];
    std::size_t length = 1;
    char32_t code = lead;
    char32_t minimum = 0;  // smaller codes in this length are overlong forms
    if (lead >= 0x80) {
      if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
      } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
      } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
      } else {
        return false;
      }
    }
    if (n - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char follow = utf8[i + k];
      if ((follow & 0xC0) != 0x80) return false;
      code = (code << 6) | (follow & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    if (code >= 0x10000) {
      code -= 0x10000;
      decoded.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      decoded.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      decoded.push_back(static_cast<char16_t>(code));
    }
    i += length;
  }
  wide = std::move(decoded);
  return true;
}

std::string WideToUtf8(const std::u16string& wide) {
  std::string utf8;
  utf8.reserve(wide.size());
  const std::size_t n = wide.size();
  for (std::size_t i = 0; i < n; ++i) {
    char32_t code = wide[i];
    if (code >= 0xD800 && code <= 0xDFFF) {
      const bool paired = code < 0xDC00 && i + 1 < n && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
      code = paired ? 0x10000 + ((code - 0xD800) << 10) + (wide[++i] - 0xDC00) : 0xFFFD;
    }
    if (code < 0x80) {
      utf8.push_back(static_cast<char>(code));
      continue;
    }
    const int follows = code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    utf8.push_back(static_cast<char>(kLead[follows] | (code >> (6 * follows))));
    for (int k = follows - 1; k >= 0; --k) utf8.push_back(static_cast<char>(0x80 | ((code >> (6 * k)) & 0x3F)));
  }
  return utf8;
}

std::u16string TranslateKey(const std::string& key) {
  if (const TTransWordList* list = CurrentWordList()) {
    if (const TTransWord* word = list->FindWord(key)) {
      std::u16string value;
      if (Utf8ToWide(word->Value, value) && !value.empty()) return UnescapeText(value);
    }
  }
  return UnescapeText(AnsiToWide(key));
}

std::u16string TranslateMarker(const std::string& text) { return TranslateKey(withoutMarkers(text)); }

std::vector<std::string> ExtractPlaceholders(const std::string& text) {
  std::vector<std::string> names;
  std::string name;
  bool inName = false;
  for (char c : text) {
    if (c == '[') {
      name.clear();
      inName = true;
    } else if (c == ']') {
      if (inName) names.push_back(name);
      inName = false;
    } else if (inName) {
      name.push_back(c);
    }
  }
  return names;
}

std::u16string TransFormat(const std::string& text, const std::vector<std::u16string>& args) {
  const std::string english = withoutMarkers(text);
  const std::vector<std::string> names = ExtractPlaceholders(english);
  std::u16string translated = TranslateKey(english);
  if (names.empty()) return translated;

  std::vector<std::u16string> wideNames;
  wideNames.reserve(names.size());
  for (const std::string& name : names) wideNames.push_back(AnsiToWide(name));

  std::u16string result;
  std::u16string name;
  bool inName = false;
  for (char16_t c : translated) {
    if (c == u'[') {
      name.clear();
      inName = true;
    } else if (c == u']') {
      inName = false;
      for (std::size_t position = 0; position < wideNames.size(); ++position) {
        if (sameIgnoringAsciiCase(wideNames[position], name)) {
          if (position < args.size()) result += args[position];
          break;
        }
      }
    } else if (inName) {
      name.push_back(c);
    } else {
      result.push_back(c);
    }
  }
  return result;
}
