// The JSON document of a book, written in one pass.
//
// Key order, omitted keys and every text form are fixed; the members of
// "rows" and "columns" come in ascending number so that the same book always
// gives the same text.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace brindel {

class BookRecord;

// The document text as written: pieces of about a megabyte, so that a large
// document is neither copied while it grows nor filled before it is written.
class DocumentText {
public:
    size_t size() const noexcept { return size_; }
    // Whether every byte is ASCII (the text is UTF-8 in any case).
    bool ascii() const noexcept { return ascii_; }
    template <class F>
    void for_each_piece(F&& f) const {
        for (const Piece& p : pieces_) f(std::string_view(p.data.get(), p.size));
    }
    std::string joined() const;

    // For the writer.
    char* new_piece(size_t cap);
    void close_piece(size_t used) noexcept;  // of the newest piece
    void mark_non_ascii() noexcept { ascii_ = false; }

private:
    struct Piece {
        std::unique_ptr<char[]> data;
        size_t size;
    };
    std::vector<Piece> pieces_;
    size_t size_ = 0;
    bool ascii_ = true;
};

// The caller holds the book's read lock; each sheet's read lock and one cell
// or comment lock at a time are taken inside. The writer cannot fail for any
// book: non-finite numbers are written as null.
DocumentText write_document_text(const BookRecord& book);

// Appends s as a JSON string, quotes included.
void append_json_string(std::string& out, std::string_view s);

}  // namespace brindel
