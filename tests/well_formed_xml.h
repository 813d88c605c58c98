#ifndef CHANGE_UTF8_TESTS_WELL_FORMED_XML_H_
#define CHANGE_UTF8_TESTS_WELL_FORMED_XML_H_

#include <expat.h>

#include <string_view>

// Whether `document` is well-formed XML, as a real parser (expat) judges it. Shared by the
// tests and the fuzzer.
inline bool is_well_formed_xml(std::string_view document) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  const bool parsed = XML_Parse(parser, document.data(), static_cast<int>(document.size()),
                                XML_TRUE) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return parsed;
}

#endif  // CHANGE_UTF8_TESTS_WELL_FORMED_XML_H_
