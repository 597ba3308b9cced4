// A corpus of malformed and unsupported BMP files, each with the message the
// loader must refuse it with. Shared by the in-process refusal table, the
// real-process suite and the memory checker's run.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "bmp_builder.h"

struct MalformedFile {
    std::string kind;  // the class of fault, e.g. "truncated", "rle8-row-overrun"
    std::string name;  // unique, usable as a file name and a test name
    Bytes bytes;
    std::string message;  // what the loader prints before ending with status 1
    // Where the command line decodes the file itself (a PNG, say): its own
    // reason and status code; empty when it hands the file to the library.
    std::string commandLineMessage;
};

std::vector<MalformedFile> MalformedCorpus();

// The file's name as a test name: letters, digits and underscores.
std::string CorpusTestName(const MalformedFile& file);

// Names the file in test output instead of dumping its bytes.
void PrintTo(const MalformedFile& file, std::ostream* out);
