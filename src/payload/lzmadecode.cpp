#include "payload/lzmadecode.h"

#include <LzmaDec.h>

#include <cstdlib>

namespace {

void* Allocate(void*, size_t size)
{
    return size ? std::malloc(size) : nullptr;
}

void Release(void*, void* address)
{
    std::free(address);
}

ISzAlloc Heap = {Allocate, Release};

} // namespace

LzmaResult DecodeLzma(const uint8_t* properties, const uint8_t* input, size_t inputSize, uint8_t* output,
    size_t outputSize, size_t& produced)
{
    SizeT outLength = outputSize;
    SizeT inLength = inputSize;
    ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
    SRes result = LzmaDecode(output, &outLength, input, &inLength, properties, LZMA_PROPS_SIZE, LZMA_FINISH_ANY,
        &status, &Heap);
    produced = outLength;
    if (result == SZ_OK)
        return LzmaResult::Decoded;
    return result == SZ_ERROR_MEM ? LzmaResult::OutOfMemory : LzmaResult::BadData;
}
