// Clang's thread-safety annotations, checked with -Wthread-safety when the
// library is built with clang; empty elsewhere.
#ifndef QXPLAYSDK_CORE_THREAD_ANNOTATIONS_H
#define QXPLAYSDK_CORE_THREAD_ANNOTATIONS_H

#if defined(__clang__)
#define QX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define QX_THREAD_ANNOTATION(x)
#endif

#define QX_CAPABILITY(x) QX_THREAD_ANNOTATION(capability(x))
#define QX_SCOPED_CAPABILITY QX_THREAD_ANNOTATION(scoped_lockable)
#define QX_GUARDED_BY(x) QX_THREAD_ANNOTATION(guarded_by(x))
#define QX_PT_GUARDED_BY(x) QX_THREAD_ANNOTATION(pt_guarded_by(x))
#define QX_ACQUIRE(...) QX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define QX_RELEASE(...) QX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define QX_REQUIRES(...) QX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define QX_EXCLUDES(...) QX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define QX_ACQUIRED_BEFORE(...) QX_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define QX_ASSERT_CAPABILITY(x) QX_THREAD_ANNOTATION(assert_capability(x))
#define QX_RETURN_CAPABILITY(x) QX_THREAD_ANNOTATION(lock_returned(x))
#define QX_NO_THREAD_SAFETY_ANALYSIS QX_THREAD_ANNOTATION(no_thread_safety_analysis)

#endif  // QXPLAYSDK_CORE_THREAD_ANNOTATIONS_H
