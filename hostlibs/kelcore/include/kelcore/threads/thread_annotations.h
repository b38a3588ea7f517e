#pragma once

// Annotations for clang's thread-safety analysis (-Wthread-safety, on in every
// clang build through kelab_set_warnings; the "tsafety" preset checks the whole
// tree). Under other compilers they expand to nothing.
//
// They state which lock guards which data and which lock a function needs, so
// that the compiler rejects a read or write of guarded data without the lock:
//
//   class Counter {
//    public:
//     void Add() KEL_EXCLUDES(mutex_) {
//       kelcore::threads::MutexLock lock(&mutex_);
//       AddLocked();
//     }
//
//    private:
//     void AddLocked() KEL_REQUIRES(mutex_) { ++count_; }
//     kelcore::threads::Mutex mutex_;
//     int count_ KEL_GUARDED_BY(mutex_) = 0;
//   };
//
// See https://clang.llvm.org/docs/ThreadSafetyAnalysis.html.

#if defined(__clang__)
#define KEL_THREAD_ANNOTATION_(x) __attribute__((x))
#else
#define KEL_THREAD_ANNOTATION_(x)
#endif

// On a class: its objects are locks ("capabilities"), named `x` in messages.
#define KEL_CAPABILITY(x) KEL_THREAD_ANNOTATION_(capability(x))

// On a class: an RAII object that holds a lock from construction to
// destruction.
#define KEL_SCOPED_CAPABILITY KEL_THREAD_ANNOTATION_(scoped_lockable)

// On a data member or global: read and written only while `x` is held.
#define KEL_GUARDED_BY(x) KEL_THREAD_ANNOTATION_(guarded_by(x))

// On a pointer member or global: the data it points to is read and written
// only while `x` is held (the pointer itself is not guarded).
#define KEL_PT_GUARDED_BY(x) KEL_THREAD_ANNOTATION_(pt_guarded_by(x))

// On a function: the caller must hold the locks named.
#define KEL_REQUIRES(...) KEL_THREAD_ANNOTATION_(requires_capability(__VA_ARGS__))

// On a function: the caller must not hold the locks named (the function takes
// them itself).
#define KEL_EXCLUDES(...) KEL_THREAD_ANNOTATION_(locks_excluded(__VA_ARGS__))

// On a function: it takes the locks named (no argument: `this`) and returns
// holding them.
#define KEL_ACQUIRE(...) KEL_THREAD_ANNOTATION_(acquire_capability(__VA_ARGS__))

// On a function: it releases the locks named (no argument: `this`), which
// the caller held.
#define KEL_RELEASE(...) KEL_THREAD_ANNOTATION_(release_capability(__VA_ARGS__))
