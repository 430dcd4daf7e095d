#include "files/encoding.h"

#include <errno.h>

#include <algorithm>
#include <cstring>

#include "cli_context.h"
#include "common/text.h"
#include "present/i18n.h"

namespace tamsel::cli {

namespace {

constexpr size_t kBlock = 1 << 16;
const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);

bool IsUtf8(const std::string& name) {
  const std::string lower = detail::Lower(name);
  return lower.empty() || lower == "utf-8" || lower == "utf8";
}

}  // namespace

bool KnownEncoding(const std::string& name) {
  if (IsUtf8(name)) return true;
  const iconv_t cd = ::iconv_open("UTF-8", name.c_str());
  if (cd == kNoIconv) return false;
  ::iconv_close(cd);
  return true;
}

DecodedStream::DecodedStream(std::istream& raw, const std::string& encoding)
    : std::istream(nullptr), buffer_(raw, encoding) {
  rdbuf(&buffer_);
  // The decoding error itself, not a bare bad stream, reaches the reader.
  exceptions(std::ios::badbit);
}

DecodedStream::~DecodedStream() = default;

DecodedStream::Buffer::~Buffer() {
  if (iconv_ != kNoIconv) ::iconv_close(iconv_);
}

void DecodedStream::Buffer::Start() {
  started_ = true;
  in_.resize(kBlock);
  raw_.read(in_.data(), static_cast<std::streamsize>(in_.size()));
  in_.resize(static_cast<size_t>(raw_.gcount()));
  const std::string_view head(in_.data(), std::min<size_t>(in_.size(), 3));
  size_t bom = 0;
  if (head.starts_with("\xEF\xBB\xBF")) {
    encoding_ = "UTF-8", bom = 3;
  } else if (head.starts_with("\xFF\xFE")) {
    encoding_ = "UTF-16LE", bom = 2;
  } else if (head.starts_with("\xFE\xFF")) {
    encoding_ = "UTF-16BE", bom = 2;
  } else if (detail::Lower(encoding_) == "utf-16") {
    // iconv would take big-endian; files without a mark come from Windows.
    encoding_ = "UTF-16LE";
  }
  in_.erase(in_.begin(), in_.begin() + static_cast<ptrdiff_t>(bom));
  if (IsUtf8(encoding_)) {
    encoding_ = "UTF-8";
    return;
  }
  iconv_ = ::iconv_open("UTF-8", encoding_.c_str());
  if (iconv_ == kNoIconv) throw UsageError(Tf("unknown encoding {0}", encoding_));
}

void DecodedStream::Buffer::Decode() {
  // At least one more block, unless the input is done.
  const size_t had = in_.size();
  if (raw_.good()) {
    in_.resize(had + kBlock);
    raw_.read(in_.data() + had, kBlock);
    in_.resize(had + static_cast<size_t>(raw_.gcount()));
  }
  if (raw_.bad()) throw ToolError(_("cannot read the input"));
  if (iconv_ == kNoIconv) {
    out_.swap(in_);
    in_.clear();
    return;
  }
  // No encoding writes more than four bytes of UTF-8 per byte.
  out_.resize(in_.size() * 4 + 16);
  char* from = in_.data();
  size_t from_left = in_.size();
  char* to = out_.data();
  size_t to_left = out_.size();
  const bool end = !raw_.good();
  if (::iconv(iconv_, &from, &from_left, &to, &to_left) == static_cast<size_t>(-1) &&
      (errno == EILSEQ || (errno == EINVAL && end))) {
    const long line = lines_ + std::count(out_.data(), to, '\n');
    throw ToolError(Tf("line {0}: the text is not {1} (name the file's encoding with --encoding)",
                       line, encoding_));
  }
  out_.resize(static_cast<size_t>(to - out_.data()));
  // An incomplete sequence at the end of the block waits for the next one.
  in_.erase(in_.begin(), in_.begin() + static_cast<ptrdiff_t>(from - in_.data()));
}

DecodedStream::Buffer::int_type DecodedStream::Buffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (!started_) Start();
  lines_ += std::count(eback(), egptr(), '\n');
  do {
    if (in_.empty() && !raw_.good()) return traits_type::eof();
    Decode();
  } while (out_.empty());
  setg(out_.data(), out_.data(), out_.data() + out_.size());
  return traits_type::to_int_type(*gptr());
}

}  // namespace tamsel::cli
