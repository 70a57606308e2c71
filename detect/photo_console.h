// What one photo's work says on the console, held until the photos before it have spoken:
// photos processed in parallel print exactly what one job prints, in the same order.
#pragma once

#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

class PhotoConsole {
  public:
    PhotoConsole();
    PhotoConsole(const PhotoConsole&) = delete;
    PhotoConsole& operator=(const PhotoConsole&) = delete;

    std::ostream& out() { return out_; }  // stands for std::cout
    std::ostream& err() { return err_; }  // stands for std::cerr

    // Writes what was said, stdout and stderr interleaved as they were written, to the
    // given streams (flushed), and forgets it.
    void replay(std::ostream& out, std::ostream& err);

  private:
    // Appends every character to the chunk list, tagged with its stream.
    class Tagged : public std::streambuf {
      public:
        Tagged(PhotoConsole* owner, bool error) : owner_(owner), error_(error) {}

      protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* s, std::streamsize n) override;

      private:
        PhotoConsole* owner_;
        bool error_;
    };
    void append(bool error, const char* s, std::size_t n);

    std::vector<std::pair<bool, std::string>> chunks_;  // (to stderr, text)
    Tagged outBuf_, errBuf_;
    std::ostream out_, err_;
};
