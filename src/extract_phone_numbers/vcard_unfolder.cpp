#include "extract_phone_numbers/vcard_unfolder.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <utility>

#include "core/cp950_decoder.h"
#include "core/text_rules.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kBeginVcard = "BEGIN:VCARD";

// The properties whose values hold no phone number: pictures, sounds, keys, dates, ids.
constexpr std::array<std::string_view, 10> kSkippedProperties = {
    "PHOTO", "LOGO", "SOUND", "KEY", "REV", "BDAY", "ANNIVERSARY", "UID", "PRODID", "X-ABUID"};

char upper_ascii(char byte) {
  return byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - 'a' + 'A') : byte;
}

// Whether `text` is `upper`, an upper-case ASCII word, in any case.
bool equals_in_any_case(std::string_view text, std::string_view upper) {
  return std::ranges::equal(text, upper, {}, upper_ascii);
}

bool starts_in_any_case(std::string_view text, std::string_view upper) {
  return text.size() >= upper.size() && equals_in_any_case(text.substr(0, upper.size()), upper);
}

// What the start of a line before its colon says of its value.
struct Property {
  bool skipped = false;
  bool quoted_printable = false;
  bool big5 = false;
};

// Reads "GROUP.NAME;PARAMETER;..." (a group and parameters optional).
Property property_of(std::string_view header) {
  Property property;
  std::string_view name = header.substr(0, header.find(';'));
  name.remove_prefix(name.rfind('.') + 1);  // the group, if any
  property.skipped = std::ranges::any_of(kSkippedProperties, [name](std::string_view skipped) {
    return equals_in_any_case(name, skipped);
  });
  for (std::size_t end = header.find(';'); end != std::string_view::npos;) {
    const std::size_t start = end + 1;
    end = header.find(';', start);
    const std::string_view parameter = header.substr(start, end - start);
    if (equals_in_any_case(parameter, "ENCODING=QUOTED-PRINTABLE") ||
        equals_in_any_case(parameter, "QUOTED-PRINTABLE")) {
      property.quoted_printable = true;
    } else if (starts_in_any_case(parameter, "CHARSET=")) {
      const std::string_view charset = parameter.substr(8);
      property.big5 = starts_in_any_case(charset, "BIG5") || equals_in_any_case(charset, "CP950");
    }
  }
  return property;
}

}  // namespace

bool starts_vcard(std::string_view text) {
  if (text.starts_with(kUtf8Bom)) {
    text.remove_prefix(kUtf8Bom.size());
  }
  if (!starts_in_any_case(text, kBeginVcard)) {
    return false;
  }
  const std::string_view rest = text.substr(kBeginVcard.size());
  return rest.empty() || is_line_end(rest[0]);
}

VcardUnfolder::VcardUnfolder() = default;

VcardUnfolder::~VcardUnfolder() = default;

std::span<const VcardPiece> VcardUnfolder::unfold(std::string_view text) {
  text_.clear();
  piece_ends_.clear();
  for (const char byte : text) {
    take(byte);
  }
  flush_value();
  end_piece(0);
  return handed_out();
}

std::span<const VcardPiece> VcardUnfolder::finish() {
  text_.clear();
  piece_ends_.clear();
  if (break_ != Break::None || in_line_) {
    break_ = Break::None;
    soft_break_ = false;
    end_line();
  }
  return handed_out();
}

// Takes the next byte of the file: a line's, a line end's, or a fold's.
void VcardUnfolder::take(char byte) {
  if (break_ != Break::None) {
    if (break_ == Break::AfterCr && byte == '\n') {
      break_ = Break::Complete;
      return;
    }
    break_ = Break::None;
    if (soft_break_) {
      soft_break_ = false;  // the value goes on in this line
    } else if (byte == ' ' || byte == '\t') {
      return;  // a fold
    } else {
      end_line();
      line_start_ = lines_ + 1;
    }
  }
  if (is_line_end(byte)) {
    take_line_end(byte);
  } else {
    take_in_line(byte);
  }
}

// A line end: whether it ends the logical line is known at the next byte.
void VcardUnfolder::take_line_end(char byte) {
  ++lines_;
  in_line_ = true;
  break_ = byte == '\r' ? Break::AfterCr : Break::Complete;
  if (part_ == Part::Value && quoted_printable_ && escape_ == "=") {
    escape_.clear();
    soft_break_ = true;
  }
}

void VcardUnfolder::take_in_line(char byte) {
  in_line_ = true;
  switch (part_) {
    case Part::Header:
      if (byte == ':') {
        begin_value();
      } else if (header_.size() == kMaxVcardHeaderBytes) {
        text_.append(header_).push_back(byte);  // no property: the line as it is
        header_.clear();
        part_ = Part::Value;
      } else {
        header_.push_back(byte);
      }
      break;
    case Part::Value:
      take_value_byte(byte);
      break;
    case Part::SkippedValue:
      break;
  }
}

// The colon after the property's name and parameters: its value follows.
void VcardUnfolder::begin_value() {
  const Property property = property_of(header_);
  part_ = property.skipped ? Part::SkippedValue : Part::Value;
  if (!property.skipped) {
    text_.append(header_).push_back(':');
  }
  header_.clear();
  quoted_printable_ = property.quoted_printable;
  if (property.big5) {
    decoder_ = std::make_unique<Cp950Decoder>();
  } else {
    decoder_ = std::make_unique<Utf8PassThrough>();
  }
}

void VcardUnfolder::take_value_byte(char byte) {
  if (!quoted_printable_) {
    take_escaped_byte(byte);
    return;
  }
  if (escape_.empty() && byte != '=') {
    value_bytes_.push_back(byte);
    return;
  }
  escape_.push_back(byte);
  if (escape_.size() < 3) {
    return;
  }
  unsigned int decoded = 0;
  const char* hex_end = escape_.data() + escape_.size();
  if (std::from_chars(escape_.data() + 1, hex_end, decoded, 16).ptr == hex_end) {
    value_bytes_.push_back(static_cast<char>(decoded));
  } else {
    value_bytes_.append(escape_);  // no escape: as it stands
  }
  escape_.clear();
}

// Takes a byte of a value that is not quoted-printable, where \n or \N stands for a line end
// (vCard 3.0 and 4.0), which becomes a space: a note's numbers one a line stay apart. Every
// other backslash, and \\, stands as it is.
void VcardUnfolder::take_escaped_byte(char byte) {
  if (std::exchange(after_backslash_, false)) {
    text_.append(byte == 'n' || byte == 'N' ? " " : std::string{'\\', byte});
  } else if (byte == '\\') {
    after_backslash_ = true;
  } else {
    text_.push_back(byte);
  }
}

// Decodes the quoted-printable bytes taken so far; line ends among them become spaces.
void VcardUnfolder::flush_value() {
  if (value_bytes_.empty()) {
    return;
  }
  const std::size_t start = text_.size();
  decoder_->decode(value_bytes_, text_);
  value_bytes_.clear();
  std::replace_if(text_.begin() + static_cast<std::ptrdiff_t>(start), text_.end(), is_line_end,
                  ' ');
}

// Ends the logical line: what is left of it is handed out, and the next begins.
void VcardUnfolder::end_line() {
  if (part_ == Part::Header) {
    text_.append(header_);  // no colon: the line as it is
  } else if (std::exchange(after_backslash_, false)) {
    text_.push_back('\\');
  } else if (part_ == Part::Value && quoted_printable_) {
    value_bytes_.append(escape_);
    flush_value();
    decoder_->finish(text_);
  }
  if (part_ != Part::SkippedValue) {
    end_piece(line_start_);
  }
  part_ = Part::Header;
  header_.clear();
  escape_.clear();
  quoted_printable_ = false;
  in_line_ = false;
}

// Ends a piece at the end of text_, unless it would be empty and end no line.
void VcardUnfolder::end_piece(std::int64_t ended_line) {
  const std::size_t start = piece_ends_.empty() ? 0 : piece_ends_.back().first;
  if (ended_line != 0 || text_.size() > start) {
    piece_ends_.emplace_back(text_.size(), ended_line);
  }
}

std::span<const VcardPiece> VcardUnfolder::handed_out() {
  pieces_.clear();
  std::size_t start = 0;
  for (const auto& [end, ended_line] : piece_ends_) {
    pieces_.push_back({std::string_view(text_).substr(start, end - start), ended_line});
    start = end;
  }
  return pieces_;
}
