#include "photo_console.h"

PhotoConsole::PhotoConsole()
    : outBuf_(this, false), errBuf_(this, true), out_(&outBuf_), err_(&errBuf_) {}

void PhotoConsole::append(bool error, const char* s, std::size_t n) {
    if (chunks_.empty() || chunks_.back().first != error) chunks_.emplace_back(error, "");
    chunks_.back().second.append(s, n);
}

PhotoConsole::Tagged::int_type PhotoConsole::Tagged::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    owner_->append(error_, &ch, 1);
    return c;
}

std::streamsize PhotoConsole::Tagged::xsputn(const char* s, std::streamsize n) {
    owner_->append(error_, s, static_cast<std::size_t>(n));
    return n;
}

void PhotoConsole::replay(std::ostream& out, std::ostream& err) {
    for (const auto& [error, text] : chunks_) {
        std::ostream& to = error ? err : out;
        to << text;
        to.flush();  // the other stream's next chunk must not overtake this one
    }
    chunks_.clear();
}
