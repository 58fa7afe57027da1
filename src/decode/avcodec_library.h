#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

namespace velquist {

// Environment variable naming the libavcodec library to load instead of the one of the
// version this program was built with (a file name or a path, as dlopen takes it); for
// tests of a libavcodec that cannot be loaded.
inline constexpr const char* kAvcodecLibraryVariable = "VELQUIST_AVCODEC_LIBRARY";

// The parts of libavcodec and libavutil the HEVC decoder calls. The libraries are loaded
// on first use rather than with the program: loading them and the codec libraries they
// pull in costs every process that starts tens of milliseconds and megabytes, and most
// processes (the window, the command line's batch driver) never decode.
struct AvcodecLibrary {
    decltype(&avcodec_find_decoder) findDecoder;
    decltype(&avcodec_alloc_context3) allocContext;
    decltype(&avcodec_free_context) freeContext;
    decltype(&avcodec_open2) open;
    decltype(&avcodec_flush_buffers) flushBuffers;
    decltype(&avcodec_send_packet) sendPacket;
    decltype(&avcodec_receive_frame) receiveFrame;
    decltype(&av_packet_alloc) packetAlloc;
    decltype(&av_packet_free) packetFree;
    decltype(&av_frame_alloc) frameAlloc;
    decltype(&av_frame_free) frameFree;
    decltype(&av_pix_fmt_desc_get) pixFmtDescriptor;
};

// The libraries, loaded by the first call (of any thread); nullptr when they cannot be
// loaded, for the rest of the process. They stay loaded until the process ends.
const AvcodecLibrary* Avcodec();

// Why the libraries could not be loaded, one line (loading them if no call has yet);
// empty when they are loaded.
std::string AvcodecLoadError();

} // namespace velquist
