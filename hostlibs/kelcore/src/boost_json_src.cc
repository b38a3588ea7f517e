// Boost.JSON in its header-only form: this translation unit holds its
// implementation, for builds that have no Boost.JSON library to link (see
// KELAB_BOOST_JSON_HEADER_ONLY).
#include <boost/json/src.hpp>
