#pragma once

#include <QString>
#include <functional>
#include <string>

namespace velquist::bench {

// Points HOME and the XDG folders into a fresh temporary folder; call before
// anything reads the configuration.
std::string UseTemporaryHome();

// Brings up the skin library as the program does.
void PrepareSkin();

// Runs the event loop until pred holds or ms pass; returns pred's last value.
bool SpinUntil(const std::function<bool()>& pred, int ms);
void SpinFor(int ms);

// Writes count small HEIC files "<prefix>NNNN.heic" into folder; false on failure.
bool WriteHeicFiles(const std::string& folder, const std::string& prefix, int count, int width,
                    int height);

// Peak and current resident memory in KiB.
long CurrentRssKiB();

} // namespace velquist::bench
