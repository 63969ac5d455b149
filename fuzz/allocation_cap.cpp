// Linked into every fuzz target and corpus replay: under AddressSanitizer a
// single allocation above 2 GB fails the run instead of being served. An
// input that makes a parser ask for memory its bytes cannot justify is a
// fault to find, and a large machine would otherwise hide it. Options given
// in ASAN_OPTIONS still take precedence; builds without the sanitizer never
// call this.
extern "C" const char* __asan_default_options()
{
    return "max_allocation_size_mb=2048";
}
