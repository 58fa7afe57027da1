#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace velquist {

// One image list entry's record. Paths and names are the file system's bytes, which need
// not be UTF-8: they reach open() as they were found, and become text only where shown.
struct ImageItem {
    std::string fileName;   // last component of sourcePath, shown in the entry
    std::string sourcePath; // full path of the HEIF file
    std::int64_t fileSize = 0;
    std::string outputPath; // set when the entry's task is dispatched; the name really written
    // Where the output goes below the output folder, for a folder added with its subfolders
    // ("2023/May" for Phone/2023/May/IMG_1.heic added as Phone): relative, "/"-separated,
    // without "." or ".." parts; empty puts the output directly in the output folder.
    std::string subFolder;
    // Top-level images the file holds as its header lists them, set when the entry's task
    // is dispatched; 0 until then or when the header cannot be read.
    int imageCount = 0;
};

// Item id -> record, in id order; guarded by the engine's taskLock.
using ImageItemMap = std::map<int, ImageItem>;

// True for names whose text after the last "." is exactly "heic", "heif" or "hif", all
// lower case or all upper case ("HEIC", "HEIF", "HIF"), as cameras and phones write them.
bool HasHeifExtension(const std::string& name);

// The matching files directly inside folder (subfolders are not entered), in the order the
// directory lists them. Directories, devices, pipes and sockets are left out even when
// their names match: opening a pipe would block a conversion until its time limit.
std::vector<ImageItem> ScanImageFolder(const std::string& folder);

// The matching files of folder and of all its subfolders (links to folders are not
// followed, unreadable subfolders are left out), each with its subFolder relative to
// folder, for an added folder whose tree is mirrored under the output folder.
std::vector<ImageItem> ScanImageFolderTree(const std::string& folder);

} // namespace velquist
