#pragma once

// What libtamsel exports: it is built with hidden visibility, so anything not marked here stays
// inside the library and can change without breaking a client.
#if defined(__GNUC__) || defined(__clang__)
#define TAMSEL_API __attribute__((visibility("default")))
#else
#define TAMSEL_API
#endif
