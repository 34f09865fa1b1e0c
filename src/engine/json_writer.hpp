// The JSON document of a book, written in one pass into one growing buffer.
//
// Key order, omitted keys and every text form are fixed; the members of
// "rows" and "columns" come in ascending number so that the same book always
// gives the same text.
#pragma once

#include <string>
#include <string_view>

#include "error.hpp"

namespace brindel {

class BookRecord;

// The caller holds the book's read lock; each sheet's read lock and one cell
// or comment lock at a time are taken inside.
Result<std::string> write_document(const BookRecord& book);

// Appends s as a JSON string, quotes included.
void append_json_string(std::string& out, std::string_view s);

}  // namespace brindel
