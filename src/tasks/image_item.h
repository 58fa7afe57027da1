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
    // Where the output goes below the output folder, for a folder added with its subfolders
    // ("2023/May" for Phone/2023/May/IMG_1.heic added as Phone): relative, "/"-separated,
    // without "." or ".." parts; empty puts the output directly in the output folder.
    std::wstring subFolder;
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

// The matching files of folder and of all its subfolders (links to folders are not
// followed, unreadable subfolders are left out), each with its subFolder relative to
// folder, for an added folder whose tree is mirrored under the output folder.
std::vector<ImageItem> ScanImageFolderTree(const std::wstring& folder);

} // namespace velquist
