#pragma once

#include <string>
#include <string_view>

namespace velquist {

// A file name as a command line prints it, the way GNU ls quotes: unchanged when it holds
// no control character and no single quote; otherwise in the shell's $'...' form with
// \n, \t, \' and \\ escapes and octal \NNN for every other control character or byte
// that is not valid UTF-8 (ESC is \033). A name can then neither break a line in two
// nor send a terminal escape, and the shell reads the quoted form back as the same name.
std::string QuotedName(std::string_view name);

// Free text that may carry a name (a failure reason): the same escapes in place, without
// the quotes, so that it stays on its one line and says nothing to the terminal.
std::string EscapedControls(std::string_view text);

// For the window, in the engine's wide form: C0 controls and DEL become their visible
// symbols (U+2400..U+241F, U+2421), C1 controls U+FFFD; everything else is kept.
std::wstring VisibleControls(std::wstring_view text);

} // namespace velquist
