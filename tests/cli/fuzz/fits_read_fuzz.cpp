// Feeds arbitrary bytes to the tool's FITS reader through a cfitsio memory
// file, and writes whatever it reads back out as FITS with the header it
// inherits. A refusal (ToolError) is the expected outcome for most inputs;
// a crash, a sanitizer report, or a read that breaks the reader's own
// promises stops the fuzzer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "cli/fits_header.h"
#include "cli/fits_image.h"
#include "cli/tool_error.h"

namespace {

// Counts the bytes, so that the whole output is encoded.
class CountingSink : public ByteSink {
 public:
  void Write(const void*, std::size_t size) override { bytes += size; }
  std::size_t bytes = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  InputImage input;
  try {
    input = ReadFitsMemory(data, size, "input", std::nullopt);
  } catch (const ToolError&) {
    return 0;
  }
  const RawImage& image = input.image;
  // What the reader promises: a 2-D image of every sample, and whole cards.
  if (image.width <= 0 || image.height <= 0 ||
      image.samples.size() != std::size_t(image.width) * std::size_t(image.height) ||
      input.header.size() % kCardLength != 0) {
    std::abort();
  }
  CountingSink sink;
  try {
    WriteFitsImage(sink, FitsEncoding::kPlain, image.width, image.height, image.samples.data(),
                   HeaderFromInput(input.header, {FitsKeyword{"CREATOR", std::string("fuzz"), ""}},
                                   {"fuzzed"}));
  } catch (const ToolError&) {
    return 0;
  }
  if (sink.bytes % kFitsBlock != 0 || sink.bytes < image.samples.size() * sizeof(float)) {
    std::abort();
  }
  return 0;
}
