// Cairo objects owned once, and a surface's PNG bytes in memory, for the
// preview and the profile plot.
#pragma once

#include <cairo.h>

#include <vector>

#include "unique.h"

using CairoSurface = platform::Unique<cairo_surface_t*, cairo_surface_destroy>;
using CairoContext = platform::Unique<cairo_t*, cairo_destroy>;

// Throws ToolError when cairo cannot encode the surface.
std::vector<unsigned char> SurfacePngBytes(cairo_surface_t* surface);
