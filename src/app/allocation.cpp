// The runtime's global allocation functions. They take memory from the
// process heap directly, and running out of memory raises the system's
// out-of-memory exception (STATUS_NO_MEMORY), which nothing catches: the
// run ends there, as it would on an uncaught std::bad_alloc, without the
// C++ exception machinery in the executable.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

void* Allocate(std::size_t size)
{
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    RaiseException(STATUS_NO_MEMORY, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return nullptr;
}

} // namespace

void* operator new(std::size_t size)
{
    return Allocate(size);
}

void* operator new[](std::size_t size)
{
    return Allocate(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}
