// Global operator new that refuses every request of the size named by the
// environment variable TQ_FAIL_NEW_SIZE, so that a chosen allocation of
// tqraport fails as it would when memory runs out.
#include <cstdlib>
#include <new>

namespace {

long failing_size()
{
    static const long size = [] {
        const char *text = std::getenv("TQ_FAIL_NEW_SIZE");
        return text ? std::atol(text) : -1L;
    }();
    return size;
}

}  // namespace

void *operator new(std::size_t n)
{
    if (static_cast<long>(n) == failing_size())
        throw std::bad_alloc();
    if (void *p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}

void *operator new[](std::size_t n)
{
    return operator new(n);
}

void operator delete(void *p) noexcept
{
    std::free(p);
}

void operator delete[](void *p) noexcept
{
    std::free(p);
}

void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void *p, std::size_t) noexcept
{
    std::free(p);
}
