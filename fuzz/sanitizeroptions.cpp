// The fuzz preset builds UBSan in recovering mode, which only prints; a fuzzer has to stop on
// the first finding to keep the input that caused it.
extern "C" const char *__ubsan_default_options()
{
    return "halt_on_error=1:print_stacktrace=1";
}

// Qt comes without frame pointers, so the fast unwinder reads junk past the first frames of
// every allocation made inside it, and ASan keeps each junk stack for good: the dispatcher
// target grew by about 1 GB in five minutes. Three frames still name the allocating code; for
// a crash, rerun its input with ASAN_OPTIONS=malloc_context_size=30:fast_unwind_on_malloc=0.
extern "C" const char *__asan_default_options()
{
    return "malloc_context_size=3";
}
