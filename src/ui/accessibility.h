#pragma once

namespace velquist::ui {

// Screen readers walk the tree of accessible objects from the window down. Qt
// lists every child widget there, hidden ones included (marked invisible); a
// window of ours lists only the controls it shows, so a reader never offers
// the stop button before a batch or a summary that is not up. Installed once,
// by the first window.
void InstallShownOnlyAccessibility();

} // namespace velquist::ui
