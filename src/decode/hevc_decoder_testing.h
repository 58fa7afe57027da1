#pragma once

namespace velquist {

// Makes the next count libavcodec decodes fail as if libavcodec had refused the data, to
// exercise the fallback to libde265.
void FailNextAvcodecDecodes(int count);

// Pictures libavcodec has decoded in this process so far.
long AvcodecDecodeCount();

// The thread (its kernel id) that decoded the last HEVC picture of this process, 0 before
// the first: tells whether libheif decoded the tiles on the caller's thread.
long LastHevcDecodeThread();

} // namespace velquist
