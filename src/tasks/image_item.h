#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace velquist {

// One image list entry's record.
struct ImageItem {
    std::wstring fileName;   // last component of sourcePath, shown in the entry
    std::wstring sourcePath; // full path of the HEIF file
    std::int64_t fileSize = 0;
    std::wstring outputPath; // set when the entry's task is dispatched; the name really written
    // Top-level images the file holds as its header lists them, set when the entry's task
    // is dispatched; 0 until then or when the header cannot be read.
    int imageCount = 0;
};

// Item id -> record, in id order; guarded by the engine's taskLock.
using ImageItemMap = std::map<int, ImageItem>;

// True for names whose text after the last "." is exactly "heic", "HEIC", "heif" or "HEIF".
bool HasHeifExtension(const std::wstring& name);

// The matching files directly inside folder (subfolders are not entered), in the order the
// directory lists them. Directories, devices, pipes and sockets are left out even when
// their names match: opening a pipe would block a conversion until its time limit.
std::vector<ImageItem> ScanImageFolder(const std::wstring& folder);

} // namespace velquist
