#include "GIFDefaults.h"

namespace orvex {

TGifDefaults GifDefaults;

} // namespace orvex
