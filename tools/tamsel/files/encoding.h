#pragma once

// Import files in the encodings spreadsheets save text in, read as UTF-8. glibc's iconv does the
// decoding, a block at a time, so memory does not grow with the file.

#include <iconv.h>

#include <istream>
#include <string>
#include <vector>

namespace tamsel::cli {

// Whether iconv knows the encoding (any name it takes: UTF-8, GB18030, GBK, BIG5, UTF-16,
// UTF-16LE, UTF-16BE, WINDOWS-1252, ...).
bool KnownEncoding(const std::string& name);

// The text of a stream in the named encoding (empty: UTF-8) as UTF-8. A byte-order mark of UTF-8
// or UTF-16 wins over the name and is dropped; UTF-16 without one is little-endian, as Windows
// writes it. A byte sequence that does not decode throws ToolError naming its line and the
// encoding, from whatever reads the stream.
class DecodedStream : public std::istream {
 public:
  DecodedStream(std::istream& raw, const std::string& encoding);
  ~DecodedStream() override;
  DecodedStream(const DecodedStream&) = delete;
  DecodedStream& operator=(const DecodedStream&) = delete;

 private:
  class Buffer : public std::streambuf {
   public:
    Buffer(std::istream& raw, std::string encoding) : raw_(raw), encoding_(std::move(encoding)) {}
    ~Buffer() override;

   protected:
    int_type underflow() override;

   private:
    void Start();
    void Decode();

    std::istream& raw_;
    std::string encoding_;
    iconv_t iconv_ = reinterpret_cast<iconv_t>(-1);  // none: the text is UTF-8 already
    bool started_ = false;
    std::vector<char> in_;  // read and not yet decoded
    std::vector<char> out_;
    long lines_ = 1;  // the line the decoded text handed out so far ends on
  };
  Buffer buffer_;
};

}  // namespace tamsel::cli
