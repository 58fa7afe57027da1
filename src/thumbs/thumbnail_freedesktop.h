#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velquist {

// The command file managers run through /usr/share/thumbnailers/velquist.thumbnailer:
//   velquist-thumbnailer -s SIZE INPUT OUTPUT
// INPUT is a path or a file:// URI, OUTPUT the PNG to write (in a folder of its own).
struct FreedesktopRequest {
    int size = 0;
    std::string input;
    std::string output;
};

// Largest picture asked for; file managers ask for 1024 at most.
inline constexpr int kMaxFreedesktopSize = 4096;

// True when the arguments (after the program name) ask for this mode rather than the
// window's request loop.
bool IsFreedesktopCommand(const std::vector<std::string>& args);
std::optional<FreedesktopRequest> ParseFreedesktopCommand(const std::vector<std::string>& args);

// Writes the PNG and returns 0, or leaves OUTPUT alone and returns 1 (2 for a command it
// does not understand), with one line on standard error. Needs nothing but the input,
// the output folder and the libraries: no home folder, settings, bus or network, as in
// the sandbox file managers run thumbnailers in.
int RunFreedesktopThumbnailer(const std::vector<std::string>& args);

} // namespace velquist
