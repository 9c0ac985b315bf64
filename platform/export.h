// How the library marks the functions the host finds by name.
#pragma once

#if defined(_WIN32)
#define PALLADOR_EXPORT __declspec(dllexport)
#else
#define PALLADOR_EXPORT __attribute__((visibility("default")))
#endif
