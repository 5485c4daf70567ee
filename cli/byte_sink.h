// Where an encoder's bytes go: an output file, or a gzip stream over another
// sink. Encoders write in pieces, so no output needs a copy of the
// whole file in memory.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <string>
#include <vector>

#include "files/output_set.h"

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Throws ToolError naming the file on failure.
  virtual void Write(const void* data, std::size_t size) = 0;
  // Flushes what the sink still holds; call once after the last Write.
  virtual void Finish() {}
};

// Writes into a pending output of a run (see files/output_set.h).
class OutputSink : public ByteSink {
 public:
  explicit OutputSink(files::Output& out) : out_(out) {}
  void Write(const void* data, std::size_t size) override;

 private:
  files::Output& out_;
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
