#pragma once

namespace velquist {

// Environment variable that keeps libheif's own libde265 in charge of HEVC when it says
// "libde265" (for comparisons); read once, by the first RegisterHevcDecoder call.
inline constexpr const char* kHevcDecoderVariable = "VELQUIST_HEVC_DECODER";

// Puts libavcodec's HEVC decoder in front of libde265 for every libheif decode in this
// process. Call once at start, before the first decode; later calls do nothing. libavcodec
// is loaded by the first decode; where it cannot be, libde265 decodes with one diagnostic
// line.
void RegisterHevcDecoder();

// The decoder new HEVC decodes use: "libavcodec" or "libde265" (loads libavcodec to tell).
const char* HevcDecoderName();

// Switches libavcodec on or off at run time, e.g. to decode the same file both ways in one
// process. Off leaves every HEVC decode to libde265. Does nothing before registration.
void SetHevcDecoderEnabled(bool enabled);

// Units libavcodec refused and libde265 decoded in this process so far.
long HevcFallbackCount();

// A fallback prints one diagnostic line until the next call of this, so that a program
// that converts file after file can have one line per file.
void RearmHevcFallbackNotice();

} // namespace velquist
