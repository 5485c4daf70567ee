#include "byte_sink.h"

#include <limits>

#include "tool_error.h"

void OutputSink::Write(const void* data, std::size_t size) {
  try {
    out_.Write(data, size);
  } catch (const files::FileError& e) {
    throw DataError(e.what());
  }
}

namespace {
constexpr std::size_t kGzipBuffer = 1 << 18;
}

GzipSink::GzipSink(ByteSink& out, std::string name)
    : out_(out), name_(std::move(name)), buffer_(kGzipBuffer) {
  // 15 + 16: the largest window, with a gzip header and trailer.
  if (deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    throw DataError("cannot compress " + name_ + ": out of memory");
  }
}

GzipSink::~GzipSink() { deflateEnd(&stream_); }

void GzipSink::Deflate(int flush) {
  int result = Z_OK;
  do {
    stream_.next_out = buffer_.data();
    stream_.avail_out = static_cast<uInt>(buffer_.size());
    result = deflate(&stream_, flush);
    if (result == Z_STREAM_ERROR) throw DataError("cannot compress " + name_);
    out_.Write(buffer_.data(), buffer_.size() - stream_.avail_out);
  } while (stream_.avail_out == 0 && result != Z_STREAM_END);
}

void GzipSink::Write(const void* data, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(const_cast<void*>(data));
  constexpr std::size_t kMaxPiece = std::numeric_limits<uInt>::max();
  while (size > 0) {
    const std::size_t piece = size < kMaxPiece ? size : kMaxPiece;
    stream_.next_in = bytes;
    stream_.avail_in = static_cast<uInt>(piece);
    Deflate(Z_NO_FLUSH);
    bytes += piece;
    size -= piece;
  }
}

void GzipSink::Finish() {
  stream_.next_in = nullptr;
  stream_.avail_in = 0;
  Deflate(Z_FINISH);
}
