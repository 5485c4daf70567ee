#include "cairo_png.h"

#include <new>

#include "tool_error.h"

namespace {

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::vector<unsigned char>*>(closure);
  // No C++ exception may unwind through cairo's C frames.
  try {
    out->insert(out->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    return CAIRO_STATUS_NO_MEMORY;
  }
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::vector<unsigned char> SurfacePngBytes(cairo_surface_t* surface) {
  std::vector<unsigned char> bytes;
  cairo_surface_flush(surface);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
      cairo_surface_write_to_png_stream(surface, AppendBytes, &bytes) != CAIRO_STATUS_SUCCESS) {
    throw DataError("cannot encode a PNG image");
  }
  return bytes;
}
