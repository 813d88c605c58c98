#ifndef CHANGE_UTF8_TEXT_DECODER_H_
#define CHANGE_UTF8_TEXT_DECODER_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/utf8.h"

// Turns the bytes of one text in some encoding, given in any number of pieces, into UTF-8. A
// character split between two pieces is kept whole. The list reader feeds every list through
// one of these, whatever its encoding.
class TextDecoder {
 public:
  TextDecoder() = default;
  virtual ~TextDecoder() = default;
  TextDecoder(const TextDecoder&) = delete;
  TextDecoder& operator=(const TextDecoder&) = delete;

  // Appends the UTF-8 of `bytes`, the next bytes of the text, to `utf8_out`; a character cut
  // short at the end of `bytes` is held back for the next call. Nothing refers to `bytes` or
  // `utf8_out` after the call.
  virtual void decode(std::string_view bytes, std::string& utf8_out) = 0;

  // Ends the text: appends what a character left cut short becomes (U+FFFD, where the
  // encoding replaces it).
  virtual void finish(std::string& utf8_out) = 0;
};

// Text taken as UTF-8: its bytes handed on as they are, ill-formed ones included, so that a
// list's entries are copied byte for byte.
class Utf8PassThrough : public TextDecoder {
 public:
  void decode(std::string_view bytes, std::string& utf8_out) override { utf8_out += bytes; }
  void finish(std::string& /*utf8_out*/) override {}
};

// Text taken as UTF-8 that may hold bytes of another encoding: its well-formed characters
// handed on as they are, and each byte that begins no character, or each character cut short,
// as U+FFFD (the replacement character), so that the text handed on is well-formed.
class Utf8Repair : public TextDecoder {
 public:
  void decode(std::string_view bytes, std::string& utf8_out) override {
    first_replacement_.reset();
    Repairing repairing{*this, utf8_out};
    walker_.walk(bytes, repairing);
  }
  void finish(std::string& utf8_out) override {
    first_replacement_.reset();
    Repairing repairing{*this, utf8_out};
    walker_.finish(repairing);
  }

  // Where in its `utf8_out` the last call of decode or finish put the text's first U+FFFD made
  // of bytes that are not UTF-8; nullopt when that call put none, or the text had one before.
  [[nodiscard]] std::optional<std::size_t> first_replacement() const { return first_replacement_; }

 private:
  // What the walk makes of each part of the text.
  struct Repairing {
    Utf8Repair& repair;
    std::string& out;
    static bool done() { return false; }
    static bool is_plain(char byte) { return static_cast<unsigned char>(byte) < 0x80; }
    void plain(std::string_view run) const { out += run; }
    void other(char /*byte*/) const { repair.replace(out); }
    void character(std::string_view character) const { out += character; }
    void ill_formed(std::size_t /*count*/) const { repair.replace(out); }
  };

  void replace(std::string& utf8_out) {
    if (!replaced_) {
      replaced_ = true;
      first_replacement_ = utf8_out.size();
    }
    utf8::append(U'\uFFFD', utf8_out);
  }

  utf8::Walker<Repairing> walker_;
  bool replaced_ = false;
  std::optional<std::size_t> first_replacement_;
};

#endif  // CHANGE_UTF8_TEXT_DECODER_H_
