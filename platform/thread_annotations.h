// Lock discipline written in code: Clang's thread-safety attributes, checked
// by -Wthread-safety when the compiler is Clang (see the root CMakeLists).
// Under other compilers the macros expand to nothing.
//
// MORVEX_GUARDED_BY(m) on data: read and written only while m is held.
// MORVEX_REQUIRES(m) on a function: its callers hold m.
// MORVEX_ACQUIRE(m) / MORVEX_RELEASE(m): the function takes or gives up m.
// MORVEX_EXCLUDES(m): the function takes m itself, so callers must not hold it.
// MORVEX_NO_THREAD_SAFETY_ANALYSIS: the locking depends on state the analysis
// cannot follow (a lock handed over at run time); say why beside it.
#pragma once

#if defined(__clang__)
#define MORVEX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define MORVEX_THREAD_ANNOTATION(x)
#endif

#define MORVEX_CAPABILITY(name) MORVEX_THREAD_ANNOTATION(capability(name))
#define MORVEX_SCOPED_CAPABILITY MORVEX_THREAD_ANNOTATION(scoped_lockable)
#define MORVEX_GUARDED_BY(x) MORVEX_THREAD_ANNOTATION(guarded_by(x))
#define MORVEX_PT_GUARDED_BY(x) MORVEX_THREAD_ANNOTATION(pt_guarded_by(x))
#define MORVEX_REQUIRES(...) MORVEX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define MORVEX_ACQUIRE(...) MORVEX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define MORVEX_RELEASE(...) MORVEX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define MORVEX_TRY_ACQUIRE(...) MORVEX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define MORVEX_EXCLUDES(...) MORVEX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define MORVEX_ASSERT_CAPABILITY(x) MORVEX_THREAD_ANNOTATION(assert_capability(x))
#define MORVEX_RETURN_CAPABILITY(x) MORVEX_THREAD_ANNOTATION(lock_returned(x))
#define MORVEX_NO_THREAD_SAFETY_ANALYSIS MORVEX_THREAD_ANNOTATION(no_thread_safety_analysis)
