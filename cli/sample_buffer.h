// Image-sized sample buffers. A frame's buffers are tens or hundreds of
// megabytes, and faulting them in 4 KB pages costs more than the work done
// on them; these ask the kernel for transparent huge pages first.
#pragma once

#include <cstddef>
#include <vector>

// `count` zero samples, in huge pages where the kernel gives them.
std::vector<float> SampleBuffer(std::size_t count);
