#pragma once

#include <span>

namespace quadrel {

// The bundled sample: a synthetic 512 x 512 microscope-like image, as PNG bytes.
std::span<const unsigned char> sampleImagePng();

} // namespace quadrel
