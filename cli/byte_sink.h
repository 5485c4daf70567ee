// Where an encoder's bytes go: a file descriptor, a gzip stream over another
// sink, or memory. Encoders write in pieces, so no output needs a copy of the
// whole file in memory.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <string>
#include <vector>

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Throws ToolError naming the file on failure.
  virtual void Write(const void* data, std::size_t size) = 0;
  // Flushes what the sink still holds; call once after the last Write.
  virtual void Finish() {}
};

// Writes to an open descriptor it does not own; `name` names it in errors.
class FdSink : public ByteSink {
 public:
  FdSink(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  void Write(const void* data, std::size_t size) override;

 private:
  int fd_;
  std::string name_;
};

class VectorSink : public ByteSink {
 public:
  void Write(const void* data, std::size_t size) override;
  std::vector<unsigned char>& bytes() { return bytes_; }

 private:
  std::vector<unsigned char> bytes_;
};

// A gzip member (as gzip(1) writes) of everything written, passed on to `out`.
class GzipSink : public ByteSink {
 public:
  GzipSink(ByteSink& out, std::string name);
  ~GzipSink() override;
  GzipSink(const GzipSink&) = delete;
  GzipSink& operator=(const GzipSink&) = delete;
  void Write(const void* data, std::size_t size) override;
  void Finish() override;

 private:
  void Deflate(int flush);
  ByteSink& out_;
  std::string name_;
  z_stream stream_{};
  std::vector<unsigned char> buffer_;
};
