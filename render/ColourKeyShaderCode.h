// The colour-key pixel shader as shader-model-1.4 tokens, built from the
// readable program below by a small encoder. Portable: no platform headers.
//
// Inputs (named in its constant table): "Sampler", the 2D sampler s0, and
// "Trans", a float4 in c0 (default 0) holding the key colour. A pixel whose
// three colour channels each lie within 0.004 of the key is discarded; any
// other pixel is the texel times the vertex colour, its alpha kept.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korrin {

// The shader's tokens (valid for the life of the process) and their count.
const std::uint32_t* ColourKeyShaderCode(std::size_t* tokenCount);

}  // namespace korrin
