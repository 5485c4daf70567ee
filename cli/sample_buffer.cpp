#include "sample_buffer.h"

#include "enhance/huge_pages.h"

std::vector<float> SampleBuffer(std::size_t count) { return LargeVector<float>(count); }
