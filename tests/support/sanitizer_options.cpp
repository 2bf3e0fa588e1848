// Tests ask for impossible allocations on purpose to check that failure is
// handled; the sanitizer must hand back null for them as the C library does.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}
