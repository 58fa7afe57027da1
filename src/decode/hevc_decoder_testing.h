#pragma once

namespace velquist {

// Makes the next count libavcodec decodes fail as if libavcodec had refused the data, to
// exercise the fallback to libde265.
void FailNextAvcodecDecodes(int count);

// Pictures libavcodec has decoded in this process so far.
long AvcodecDecodeCount();

} // namespace velquist
