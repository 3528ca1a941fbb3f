// The rules that make a text strict JSON where the JSON library's reader is
// lenient, written once and applied by every reading entry point
// (json_parse, json_stream, json_compact), so that they all accept exactly
// the same texts:
//   - NUL: the reader takes a NUL byte as the end of the text and would
//     accept what stands before it. A NUL is never JSON text: it fails the
//     text, or, for the readers that ask for it, ends the text there.
//   - Byte-order mark: a text whose first byte is EF, BB or BF (a UTF-8
//     byte-order mark or a byte of one) is no JSON text, though some readers
//     (the library's own document parse among them) pass over those bytes.
//   - UTF-8: strict (no overlong forms, no encoded surrogates, nothing above
//     U+10FFFF, no character cut at the end). Every byte of the text is
//     checked, not only the strings' bytes: outside strings a byte above
//     0x7F is a syntax error anyway, so the outcome is the same.
//   - Lone surrogates: the reader rejects a "\uD800".."\uDBFF" escape not
//     followed by a low one, but decodes a lone "\uDC00".."\uDFFF" escape
//     into the bytes ED B0..BF xx, which are not UTF-8; written out again
//     they would make the text unreadable. Such an escape fails the text.
//     It is found in the decoded strings and keys: once the raw text passed
//     the UTF-8 rule it holds no ED A0..BF, and a proper pair decodes to four
//     bytes, so a decoded string holds ED A0..BF exactly when its text had a
//     lone surrogate escape.
#pragma once

#include <cstddef>
#include <string_view>

// What a NUL byte in the text means to a reading.
enum class JsonNul {
  fails,      // the text is no JSON text (as json_parse sees it)
  ends_text,  // the text is what stands before the first NUL; the rest is neither parsed nor checked
};

// The NUL, byte-order-mark and UTF-8 rules over the raw text, given piece
// by piece in order (a character may be split between pieces).
class JsonStrict {
 public:
  explicit JsonStrict(JsonNul nul) : nul_(nul) {}

  // Checks the next n bytes and returns how many of them belong to the
  // text: n, or those before a NUL that ends the text. Once the text has
  // failed or ended, the rest of it need not be given (0 is returned).
  size_t take(const char* bytes, size_t n);

  // True when the text can pass no more, whatever follows.
  bool failed() const { return failed_; }
  // True when nothing more belongs to the text: it failed, or a NUL ended it.
  bool ended() const { return failed_ || saw_nul_; }
  // True when the text given so far, ending here, keeps every raw rule.
  bool passes() const { return !failed_ && need_ == 0 && !(saw_nul_ && nul_ == JsonNul::fails); }

 private:
  bool utf8(const unsigned char* p, size_t n);

  JsonNul nul_;
  bool started_ = false;  // the text's first byte has been looked at
  bool saw_nul_ = false;
  bool failed_ = false;
  // Of a UTF-8 character begun in an earlier piece: how many continuation
  // bytes are still to come, and the range of the next one.
  int need_ = 0;
  unsigned char lo_ = 0x80, hi_ = 0xBF;
};

// The lone-surrogate rule over a string or key as the reader decoded it,
// from a text that keeps the UTF-8 rule: true when it had none.
bool json_strict_decoded(std::string_view decoded);
