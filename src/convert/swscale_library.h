#pragma once

#include <string>

extern "C" {
#include <libswscale/swscale.h>
}

namespace velquist {

// The parts of libswscale that shrink a photo. Loaded on first use, like libavcodec:
// only conversions that resize need it, and the window and the batch driver, which link
// the conversion code without ever resizing, start without it and the libavutil it pulls in.
struct SwscaleLibrary {
    decltype(&sws_getContext) getContext;
    decltype(&sws_scale) scale;
    decltype(&sws_freeContext) freeContext;
};

// The library, loaded by the first call (of any thread); nullptr when it cannot be loaded,
// for the rest of the process.
const SwscaleLibrary* Swscale();

// Why the library could not be loaded, one line; empty when it is loaded.
std::string SwscaleLoadError();

} // namespace velquist
