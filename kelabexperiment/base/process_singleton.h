#pragma once

#include <boost/thread/once.hpp>

namespace kelabexperiment {

// The one T of the process, built on first use through boost::call_once as a
// function-local static (so it is destroyed when the module unloads, in
// reverse order of creation). A constructor that throws leaves it unbuilt and
// the next call tries again. T befriends ProcessSingletonStorage<T> when its
// constructor is private.
template <typename T>
struct ProcessSingletonStorage {
  static T& Get() {
    static T instance;
    return instance;
  }
};

template <typename T>
T& ProcessSingleton() {
  static boost::once_flag flag = BOOST_ONCE_INIT;
  boost::call_once(flag, [] { ProcessSingletonStorage<T>::Get(); });
  return ProcessSingletonStorage<T>::Get();
}

}  // namespace kelabexperiment
