// The one place that talks to the LZMA decoder: raw LZMA data decoded in a
// single call, input and output entirely in memory.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr unsigned LzmaPropertiesLimit = 9 * 5 * 5; // lc < 9, lp < 5, pb < 5

enum class LzmaResult { Decoded, BadData, OutOfMemory };

// `properties`: the properties byte and the dictionary size, five bytes.
// Decodes until the output is full or the data's end marker; `produced`
// receives the number of bytes written to `output` in every case.
LzmaResult DecodeLzma(const uint8_t* properties, const uint8_t* input, size_t inputSize, uint8_t* output,
    size_t outputSize, size_t& produced);
