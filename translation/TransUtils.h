#pragma once
// Marker texts: English words between "(__" and "__)", looked up in the current word
// list before they are shown, with named placeholders such as "[0_PORT]" filled from
// arguments after translation.

#include <string>
#include <vector>

// Decodes "\n" (carriage return + line feed), "\t", "\\" and "\NN" (two decimal digits,
// the character code 0 to 99). Any other backslash stays as it is.
std::u16string UnescapeText(const std::u16string& text);

// Strict UTF-8 decoding: false, and an empty result, for malformed input (overlong
// forms, surrogates, code points above U+10FFFF, cut-off sequences).
bool Utf8ToWide(const std::string& utf8, std::u16string& wide);
// UTF-8 of wide text; a lone surrogate becomes U+FFFD.
std::string WideToUtf8(const std::u16string& wide);

// The translation of key from the current word list, else the key itself (8-bit text
// in the job code page); escapes decoded either way.
std::u16string TranslateKey(const std::string& key);

// Removes the first "(__" and then the first "__)", and translates what is left.
std::u16string TranslateMarker(const std::string& text);

// The names between "[" and "]" in order ("[]" gives an empty name); empty when there
// are none.
std::vector<std::string> ExtractPlaceholders(const std::string& text);

// Translates a marker text and fills its placeholders: the n-th placeholder of the
// English text receives args[n] wherever the translation puts it (names compared
// ignoring ASCII case). A name the English text lacks, or one without an argument,
// gives nothing. An English text without placeholders is returned as translated.
std::u16string TransFormat(const std::string& text, const std::vector<std::u16string>& args);
