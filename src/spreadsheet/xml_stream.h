#ifndef CHANGE_UTF8_XML_STREAM_H_
#define CHANGE_UTF8_XML_STREAM_H_

#include <optional>
#include <string>
#include <string_view>

#include "core/failure.h"

class ZipArchive;
struct XML_ParserStruct;  // expat's parser, known only to xml_stream.cpp

// The attributes of an element as the parser gives them: name, value, name, value, ..., then
// nullptr; names with their namespace prefixes.
using XmlAttributes = const char**;

// The value of the attribute named `name` (without prefix) among `attributes`; nullopt when
// there is none. The files bind their prefixes as they like, and no two names the reader looks
// for differ only by namespace.
std::optional<std::string_view> attribute(XmlAttributes attributes, std::string_view name);

// What an XML part's content asks of the parse after each event.
enum class Reaction {
  Go,     // parse on
  Pause,  // a row is complete: stop here until asked for the next
  Stop,   // the part is refused (stop_reason says why)
};

// What an XML part holds, told event by event, names without their prefixes.
class XmlContent {
 public:
  XmlContent() = default;
  virtual ~XmlContent() = default;
  XmlContent(const XmlContent&) = delete;
  XmlContent& operator=(const XmlContent&) = delete;

  virtual Reaction start(std::string_view name, XmlAttributes attributes) = 0;
  virtual Reaction end(std::string_view name) = 0;
  // Character data of the element being read, in one piece or several.
  virtual Reaction text(std::string_view text) = 0;

  // Why the content stopped the parse: a text with one %s for the part's name.
  [[nodiscard]] const char* stop_reason() const { return stop_reason_; }
  void clear_stop_reason() { stop_reason_ = nullptr; }

 protected:
  // Stops the parse for `reason`, a text with one %s for the part's name.
  Reaction stop(const char* reason) {
    stop_reason_ = reason;
    return Reaction::Stop;
  }

 private:
  const char* stop_reason_ = nullptr;
};

// How far a parse got.
enum class Progress { Paused, Ended, Failed };

// Elements nest at most this deep in a part; a deeper part is refused, before the parser's
// stack of open elements takes memory without bound.
inline constexpr int kMaxXmlDepth = 256;

// One XML part of the archive at a time, unpacked and parsed in chunks into its content,
// pausing where the content asks and resuming from there. Its failures name the file, and the
// part where one is concerned: a part missing, damaged, or not well-formed XML; elements
// nested deeper than kMaxXmlDepth; a refusal of the content; memory running out.
class XmlStream {
 public:
  // Reads parts of `archive`, naming the file `file_name` in failures; both must outlive it.
  XmlStream(ZipArchive& archive, const std::string& file_name);
  ~XmlStream();
  XmlStream(const XmlStream&) = delete;
  XmlStream& operator=(const XmlStream&) = delete;

  // Begins the part `member`, told to `content`, which must outlive the parse; the part begun
  // before ends here. Fails when the part cannot be begun (see ZipArchive::open_member).
  // REQUIRES: the archive is open.
  [[nodiscard]] std::optional<Failure> open(const std::string& member, XmlContent& content);

  // Parses on until the content pauses, the part ends, or it fails (failure() says why; every
  // later call fails too).
  // REQUIRES: open succeeded.
  [[nodiscard]] Progress advance();

  // Parses the whole part `member` into `content`, resuming where it pauses; fails as open and
  // advance do.
  [[nodiscard]] std::optional<Failure> read_whole(const std::string& member, XmlContent& content);

  // Why the last advance failed.
  [[nodiscard]] const std::optional<Failure>& failure() const { return failure_; }

 private:
  struct Handlers;  // the parser's callbacks, defined in xml_stream.cpp

  void react(Reaction reaction);
  [[nodiscard]] Failure parse_failure() const;
  Progress fail(Failure failure);
  void free_parser();

  ZipArchive& archive_;
  const std::string& file_name_;
  std::string member_;
  XmlContent* content_ = nullptr;
  XML_ParserStruct* parser_ = nullptr;
  int depth_ = 0;  // of the element being read
  bool too_deep_ = false;
  bool suspended_ = false;
  bool final_ = false;  // the last chunk has been given to the parser
  std::optional<Failure> failure_;
};

#endif  // CHANGE_UTF8_XML_STREAM_H_
