// The fuzz preset builds UBSan in recovering mode, which only prints; a fuzzer has to stop on
// the first finding to keep the input that caused it.
extern "C" const char *__ubsan_default_options()
{
    return "halt_on_error=1:print_stacktrace=1";
}
