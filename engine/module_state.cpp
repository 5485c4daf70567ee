// The module state shared by the commands and the engine, zero at load.
#include "coma_engine.h"

std::int32_t ImageWidth = 0;
std::int32_t ImageHeight = 0;
const float* SourceCopy = nullptr;
float* ModelPixels = nullptr;
float PeakValue = 0.0f;

SampleArray RadialProfile{};
