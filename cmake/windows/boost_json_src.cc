// Boost.JSON in its header-only form: this translation unit holds its
// implementation. Every module that links Boost::json compiles it once (see
// cmake/KelabWindows.cmake).
#include <boost/json/src.hpp>
