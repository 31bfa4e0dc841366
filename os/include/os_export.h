// Export macro of the tavoos shared library (events, threads, disk).
#pragma once
#if defined(_WIN32)
#if defined(TAVOOS_BUILD)
#define OS_API __declspec(dllexport)
#else
#define OS_API __declspec(dllimport)
#endif
#else
#define OS_API __attribute__((visibility("default")))
#endif
