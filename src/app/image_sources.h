#pragma once

#include "tasks/image_item.h"

#include <string>
#include <vector>

namespace velquist {

// Records for files the user picked one by one, in the given order. The size
// is the one the directory entry reports; a file whose entry cannot be read
// is still listed, with size 0, and fails when it is converted.
std::vector<ImageItem> ItemsFromFiles(const std::vector<std::string>& paths);

// Records for a drop of files and folders: folders by the folder rule
// (ScanImageFolder), files when their extension is heic, heif or hif in any letter
// case, as the open-file dialog's filter lets them through. Other files are
// left out. With tree, folders bring their subfolders' files too, each with its
// subfolder (ScanImageFolderTree); files stay flat.
std::vector<ImageItem> ItemsFromDrop(const std::vector<std::string>& paths, bool tree = false);

} // namespace velquist
