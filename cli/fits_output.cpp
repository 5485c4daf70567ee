#include "fits_output.h"

#include "commands.h"

void WriteFits(files::Output& out, std::int32_t width, std::int32_t height, const float* samples,
               const FitsHeader& header) {
  OutputSink sink(out);
  WriteFitsImage(sink, FitsEncodingFor(out.path()), width, height, samples, header);
}

std::string MadeFrom(const std::string& input, const InputImage& image) {
  return std::string(ToolVersion()) + " from " + input +
         (image.header.empty() ? std::string(" (raw image)") : " HDU " + std::to_string(image.hdu));
}
