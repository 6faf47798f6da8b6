// Sanitizer builds of the test programs never unload a shared library.
// LeakSanitizer looks for leaks when the process exits; by then Mesa has
// unloaded its driver with the last display or context, and whatever the
// driver still held shows as a leak from a nameless module that no line of
// lsan.supp can name. Which library goes when differs from machine to machine
// (driver, Mesa version, libglvnd), so rather than pin any one by its path,
// unloading is turned off for all of them: every stack keeps its module's
// name, and a leak of ours, in a program or in the saver module, is reported
// as before. This definition comes first in the lookup order, ahead of the C
// library's and the sanitizer's, for every library the process loads.
#if defined(__SANITIZE_ADDRESS__)
extern "C" __attribute__((visibility("default"))) int dlclose(void*)
{
    return 0;
}
#endif
