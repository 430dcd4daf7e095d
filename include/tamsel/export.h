#pragma once

// What libtamsel exports: it is built with hidden visibility, so anything not marked here stays
// inside the library and can change without breaking a client.
// On Windows the library is linked statically into the in-process server, which exports only
// the entry points of the binary standard.
#if defined(_WIN32)
#define TAMSEL_API
#elif defined(__GNUC__) || defined(__clang__)
#define TAMSEL_API __attribute__((visibility("default")))
#else
#define TAMSEL_API
#endif
