#ifndef CHANGE_UTF8_EXTRACTION_RUN_H_
#define CHANGE_UTF8_EXTRACTION_RUN_H_

#include <iosfwd>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "extract_phone_numbers/number_extraction.h"

// Takes the phone numbers out of each of `files` in turn ("-": standard input, read as
// /dev/stdin; no file at all: standard input alone) through `extraction`, and writes them to
// `output_fd` through `files` as they are found. A file that cannot be opened or read is noted
// on `notes` ("extract_phone_numbers: FILE: REASON") and the next one read; standard output
// that cannot be written is noted ("standard output: REASON") and ends the run, as does memory
// running out while a file is read ("FILE: too large to read in the memory available").
//
// Returns the exit status: 0 when every file was read and a number was written; 1 otherwise,
// noting "no phone number found" when none was.
int extract_from_files(const std::vector<std::string>& files, FileSystem& file_system,
                       int output_fd, NumberExtraction& extraction, std::ostream& notes);

// How notes name the file `name` of the command line ("-" is standard input).
std::string shown_file_name(const std::string& name);

#endif  // CHANGE_UTF8_EXTRACTION_RUN_H_
