// The end of a program's standard output, the same on every system: the C library's error
// numbers are what Windows' and the POSIX C libraries both set when a write of theirs fails.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <streambuf>

#include "platform/console.h"

namespace platform::console {

// Hands every write on at once, keeping the error number of the first that fails: by the end
// of the run anything else may have set errno since.
class WatchedOutput::Keeper : public std::streambuf {
  public:
    explicit Keeper(std::streambuf* inner) : inner_(inner) {}

    bool failed() const { return failed_; }
    int code() const { return code_; }

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        errno = 0;
        const int_type written = inner_->sputc(traits_type::to_char_type(c));
        if (traits_type::eq_int_type(written, traits_type::eof()))
            Note();
        return written;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        errno = 0;
        const std::streamsize written = inner_->sputn(text, count);
        if (written < count)
            Note();
        return written;
    }
    int sync() override {
        errno = 0;
        const int result = inner_->pubsync();
        if (result != 0)
            Note();
        return result;
    }

  private:
    void Note() {
        if (!failed_)
            code_ = errno;
        failed_ = true;
    }

    std::streambuf* inner_;
    bool failed_ = false;
    int code_ = 0;
};

WatchedOutput::WatchedOutput(std::ostream& out)
    : out_(out), inner_(out.rdbuf()), keeper_(std::make_unique<Keeper>(inner_)) {
    out_.rdbuf(keeper_.get());
}

WatchedOutput::~WatchedOutput() {
    // rdbuf() would clear a failed stream's state: set it back as it is.
    const std::ios_base::iostate state = out_.rdstate();
    out_.rdbuf(inner_);
    out_.clear(state);
}

std::optional<std::string> WatchedOutput::Flush() {
    out_.flush();
    bool failed = !out_ || keeper_->failed();
    int code = keeper_->code();
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        failed = true;
        if (code == 0)
            code = errno;
    }
    if (!failed)
        return std::nullopt;
    return code != 0 ? std::string(std::strerror(code)) : std::string();
}

}  // namespace platform::console
