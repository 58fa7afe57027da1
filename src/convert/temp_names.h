#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace velquist {

// Hidden names for files being written where the file system has no unnamed files:
// ".vq-BOOT-PID-START-RAND.tmp". They say which process writes them (its boot, its pid
// and its start time), so a later run can tell a dead writer's leftovers from a live
// writer's file at once; and they are short whatever the output's name, so any name the
// file system accepts can be written.
std::string NewTemporaryName();

struct TemporaryOwner {
    std::string boot; // a short tag of the boot the writer ran in
    long pid = 0;
    unsigned long long start = 0; // the writer's start time, in clock ticks after boot
};
// The writer a temporary name belongs to; nothing for any other name.
std::optional<TemporaryOwner> OwnerOfTemporaryName(const std::string& name);

enum class OwnerState { kAlive, kGone, kUnknown };
// kUnknown for a writer of another boot or machine: only its file's age can tell.
OwnerState StateOf(const TemporaryOwner& owner);

// Removes from folder the temporary files of writers that are gone, and those whose
// writer cannot be checked once they are older than minAge (no writer runs that long).
void SweepDeadTemporaryFiles(const std::string& folder, std::chrono::seconds minAge);

} // namespace velquist
