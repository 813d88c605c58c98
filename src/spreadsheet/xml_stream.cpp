#include "spreadsheet/xml_stream.h"

#include <expat.h>

#include <cstddef>
#include <span>
#include <type_traits>
#include <utility>

#include "core/file_system.h"
#include "core/message_catalog.h"
#include "spreadsheet/zip_archive.h"

static_assert(std::is_same_v<XML_Char, char>, "XmlAttributes are the parser's UTF-8 strings");

namespace {

// The bytes of a part unpacked and parsed at a time.
constexpr int kChunkSize = 64 * 1024;

// The name of an element or attribute without its namespace prefix.
std::string_view local_name(const XML_Char* name) {
  const std::string_view whole(name);
  const std::size_t colon = whole.rfind(':');
  return colon == std::string_view::npos ? whole : whole.substr(colon + 1);
}

}  // namespace

std::optional<std::string_view> attribute(XmlAttributes attributes, std::string_view name) {
  for (const XML_Char** pair = attributes; *pair != nullptr; pair += 2) {
    if (local_name(pair[0]) == name) {
      return std::string_view(pair[1]);
    }
  }
  return std::nullopt;
}

// Tells each event to the stream's content, and does what the content asks.
struct XmlStream::Handlers {
  static void XMLCALL on_start(void* stream, const XML_Char* name, const XML_Char** attributes) {
    auto* self = static_cast<XmlStream*>(stream);
    if (++self->depth_ > kMaxXmlDepth) {
      self->too_deep_ = true;
      self->react(Reaction::Stop);
      return;
    }
    self->react(self->content_->start(local_name(name), attributes));
  }
  static void XMLCALL on_end(void* stream, const XML_Char* name) {
    auto* self = static_cast<XmlStream*>(stream);
    --self->depth_;
    self->react(self->content_->end(local_name(name)));
  }
  static void XMLCALL on_text(void* stream, const XML_Char* text, int length) {
    auto* self = static_cast<XmlStream*>(stream);
    self->react(self->content_->text(std::string_view(text, static_cast<std::size_t>(length))));
  }
};

XmlStream::XmlStream(ZipArchive& archive, const std::string& file_name)
    : archive_(archive), file_name_(file_name) {}

XmlStream::~XmlStream() {
  free_parser();
}

std::optional<Failure> XmlStream::open(const std::string& member, XmlContent& content) {
  free_parser();
  member_ = member;
  content_ = &content;
  content.clear_stop_reason();
  depth_ = 0;
  too_deep_ = false;
  suspended_ = false;
  final_ = false;
  failure_.reset();
  parser_ = XML_ParserCreate(nullptr);
  if (parser_ == nullptr) {
    return FileSystem::out_of_memory(file_name_);
  }
  XML_SetUserData(parser_, this);
  XML_SetElementHandler(parser_, Handlers::on_start, Handlers::on_end);
  XML_SetCharacterDataHandler(parser_, Handlers::on_text);
  return archive_.open_member(member);
}

Progress XmlStream::advance() {
  if (failure_) {
    return Progress::Failed;
  }
  XML_Status status = XML_STATUS_OK;
  if (suspended_) {
    suspended_ = false;
    status = XML_ResumeParser(parser_);
  }
  while (status == XML_STATUS_OK && !final_) {
    void* buffer = XML_GetBuffer(parser_, kChunkSize);
    if (buffer == nullptr) {
      return fail(FileSystem::out_of_memory(file_name_));
    }
    ZipRead got = archive_.read(std::span(static_cast<char*>(buffer), kChunkSize));
    if (got.failure) {
      return fail(std::move(*got.failure));
    }
    final_ = got.size == 0;
    status = XML_ParseBuffer(parser_, static_cast<int>(got.size), final_ ? XML_TRUE : XML_FALSE);
  }
  if (status == XML_STATUS_SUSPENDED) {
    suspended_ = true;
    return Progress::Paused;
  }
  return status == XML_STATUS_ERROR ? fail(parse_failure()) : Progress::Ended;
}

std::optional<Failure> XmlStream::read_whole(const std::string& member, XmlContent& content) {
  if (std::optional<Failure> failure = open(member, content)) {
    return failure;
  }
  Progress progress = Progress::Paused;
  while (progress == Progress::Paused) {
    progress = advance();
  }
  return failure_;
}

// Stops the parser where the content asks: to resume later, or for good.
void XmlStream::react(Reaction reaction) {
  if (reaction != Reaction::Go) {
    XML_StopParser(parser_, reaction == Reaction::Pause ? XML_TRUE : XML_FALSE);
  }
}

// Why the parse failed: elements nested too deep, the content's refusal, memory running out,
// or the part's XML.
Failure XmlStream::parse_failure() const {
  if (too_deep_) {
    return member_failure(file_name_,
                          catalog::gettext("its part %s nests elements more than 256 deep; it is "
                                           "not read"),
                          member_);
  }
  if (content_->stop_reason() != nullptr) {
    return member_failure(file_name_, content_->stop_reason(), member_);
  }
  if (XML_GetErrorCode(parser_) == XML_ERROR_NO_MEMORY) {
    return FileSystem::out_of_memory(file_name_);
  }
  return member_failure(file_name_, catalog::gettext("its part %s is not well-formed XML"),
                        member_);
}

Progress XmlStream::fail(Failure failure) {
  failure_ = std::move(failure);
  return Progress::Failed;
}

void XmlStream::free_parser() {
  if (parser_ != nullptr) {
    XML_ParserFree(parser_);
    parser_ = nullptr;
  }
}
